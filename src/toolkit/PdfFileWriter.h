#pragma once

#include <QByteArray>
#include <QFile>
#include <QVector>

// Writes the objects of a PDF file one after another and ends it with the
// cross-reference table. Objects may be written in any order once their
// numbers are reserved; each must be written exactly once.
class PdfFileWriter {
public:
    explicit PdfFileWriter(const QString &path);

    bool isOpen() const { return m_file.isOpen(); }
    bool failed() const { return m_failed; }

    int reserveObject();
    void writeObject(int id, const QByteArray &body);
    // dictionary holds the stream's entries but /Length and /Filter.
    void writeStream(int id, const QByteArray &dictionary, const QByteArray &data, bool compress);
    // Writes the table and trailer and closes the file; false when any
    // write failed.
    bool finish(int catalogId, int infoId);
    // Closes the file without ending it.
    void abandon();

private:
    void write(const QByteArray &bytes);
    void beginObject(int id);

    QFile m_file;
    QVector<qint64> m_offsets {0}; // object 0 is the head of the free list
    qint64 m_offset = 0;
    bool m_failed = false;
};

// Appends a number with at most three decimals: 12, -11.787, 0.5.
void appendPdfNumber(QByteArray &out, double value);
// Appends a number given in thousandths: 11787 -> 11.787.
void appendPdfThousandths(QByteArray &out, qint64 thousandths);
