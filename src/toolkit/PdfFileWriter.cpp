#include "toolkit/PdfFileWriter.h"

#include <cmath>
#include <cstdio>

PdfFileWriter::PdfFileWriter(const QString &path) : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_failed = true;
        return;
    }
    // The second line's high bytes mark the file as binary for transfer tools.
    write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
}

int PdfFileWriter::reserveObject()
{
    m_offsets.append(-1);
    return int(m_offsets.size() - 1);
}

void PdfFileWriter::beginObject(int id)
{
    if (id <= 0 || id >= m_offsets.size() || m_offsets[id] >= 0) {
        m_failed = true;
        return;
    }
    m_offsets[id] = m_offset;
    write(QByteArray::number(id) + " 0 obj\n");
}

void PdfFileWriter::writeObject(int id, const QByteArray &body)
{
    beginObject(id);
    write(body);
    write("\nendobj\n");
}

void PdfFileWriter::writeStream(int id, const QByteArray &dictionary, const QByteArray &data,
                                bool compress)
{
    QByteArray payload;
    QByteArray head = "<<" + dictionary;
    if (compress) {
        // qCompress gives a zlib stream behind a 4-byte length of its own.
        payload = qCompress(data, 1).mid(4);
        head += " /Filter /FlateDecode";
    }
    const QByteArray &bytes = compress ? payload : data;
    head += " /Length " + QByteArray::number(bytes.size()) + " >>\nstream\n";
    beginObject(id);
    write(head);
    write(bytes);
    write("\nendstream\nendobj\n");
}

bool PdfFileWriter::finish(int catalogId, int infoId)
{
    if (!m_file.isOpen())
        return false;
    const qint64 tableOffset = m_offset;
    QByteArray table = "xref\n0 " + QByteArray::number(m_offsets.size()) + "\n";
    table += "0000000000 65535 f\r\n";
    char entry[24];
    for (qsizetype id = 1; id < m_offsets.size(); ++id) {
        if (m_offsets[id] < 0) {
            m_failed = true; // reserved but never written
            continue;
        }
        std::snprintf(entry, sizeof entry, "%010lld 00000 n\r\n",
                      static_cast<long long>(m_offsets[id]));
        table += entry;
    }
    table += "trailer\n<< /Size " + QByteArray::number(m_offsets.size()) + " /Root " +
        QByteArray::number(catalogId) + " 0 R /Info " + QByteArray::number(infoId) +
        " 0 R >>\nstartxref\n" + QByteArray::number(tableOffset) + "\n%%EOF\n";
    write(table);
    if (!m_file.flush())
        m_failed = true;
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        m_failed = true;
    return !m_failed;
}

void PdfFileWriter::abandon()
{
    m_file.close();
}

void PdfFileWriter::write(const QByteArray &bytes)
{
    if (m_failed || !m_file.isOpen())
        return;
    if (m_file.write(bytes) != bytes.size())
        m_failed = true;
    m_offset += bytes.size();
}

void appendPdfThousandths(QByteArray &out, qint64 thousandths)
{
    if (thousandths < 0) {
        out += '-';
        thousandths = -thousandths;
    }
    out += QByteArray::number(thousandths / 1000);
    int fraction = int(thousandths % 1000);
    if (fraction == 0)
        return;
    char digits[5] = {'.', char('0' + fraction / 100), char('0' + fraction / 10 % 10),
                      char('0' + fraction % 10), 0};
    int length = 4;
    while (digits[length - 1] == '0')
        --length;
    out.append(digits, length);
}

void appendPdfNumber(QByteArray &out, double value)
{
    appendPdfThousandths(out, std::llround(value * 1000));
}
