#pragma once

#include <QPageSize>
#include <QString>

#include <optional>

// What the spool knows of its queue: whether it was found, its default
// paper, and why it takes no prints now; and the lines that say when
// printing starts to wait and when it works again, one each, not one per
// try.
class QueueState {
public:
    enum class Lookup { NotAsked, Asking, Found, NotFound };

    // `given`: the queue's name as given, empty for the default printer.
    QueueState(const QString &given, std::optional<QPageSize> paper);

    Lookup lookup() const { return m_lookup; }
    void asking() { m_lookup = Lookup::Asking; }
    // The answer to a look-up; for one that failed, the line to tell, if any.
    void found(const QString &name, std::optional<QPageSize> paper);
    QString notFound(const QString &reason);
    // A try found the queue or the server not taking prints; the line to
    // tell when that is news.
    QString waits(const QString &reason);
    // A print was taken; the line to tell when printing works again.
    QString takes();

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    bool waiting() const { return !m_reason.isEmpty(); }
    QString reason() const { return m_reason; }
    // Tries that failed in a row.
    int failures() const { return m_failures; }
    // Settled once asked for, or once the queue has answered or could not:
    // its default, or A4 when it has none or cannot be asked.
    std::optional<QPageSize> paper() const;

private:
    QString m_name;
    std::optional<QPageSize> m_asked;
    std::optional<QPageSize> m_default;
    Lookup m_lookup = Lookup::NotAsked;
    QString m_reason;
    int m_failures = 0;
    bool m_tookAny = false;
};
