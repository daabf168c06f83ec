#pragma once

#include <QByteArray>
#include <QPageSize>
#include <QString>

#include <memory>
#include <optional>

struct cups_dest_s;

// What became of one job sent to the printer.
struct PrintReceipt {
    bool printed = false;
    int jobId = 0;
    QString error; // CUPS's own reason when not printed
    QString queue; // where it went
};

// One CUPS queue, reached through libcups (CUPS_SERVER and the client
// configuration choose the server). Jobs may be sent from any one thread.
class CupsPrinter {
public:
    // The queue of that name, or the default destination for an empty name;
    // nothing, with a sentence saying why, when there is none or no server
    // answers.
    static std::unique_ptr<CupsPrinter> find(const QString &name, QString &error);
    ~CupsPrinter();
    CupsPrinter(const CupsPrinter &) = delete;
    CupsPrinter &operator=(const CupsPrinter &) = delete;

    QString name() const { return m_name; }
    // The queue's default paper, as it said when it was found.
    std::optional<QPageSize> defaultPaper() const { return m_defaultPaper; }
    // Asks the printer for this paper; otherwise it uses its default.
    void setPaper(const QPageSize &paper);

    // Sends a PDF as one job, named `title`. Blocks until CUPS has taken it
    // or refused it.
    PrintReceipt print(const QString &title, const QByteArray &pdf) const;

private:
    CupsPrinter(cups_dest_s *dest, std::optional<QPageSize> defaultPaper);

    cups_dest_s *m_dest = nullptr;
    QString m_name;
    std::optional<QPageSize> m_defaultPaper;
    QByteArray m_media; // the media option, when a paper was asked for
};
