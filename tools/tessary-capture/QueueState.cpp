#include "QueueState.h"

QueueState::QueueState(const QString &given, std::optional<QPageSize> paper)
    : m_name(given.isEmpty() ? QStringLiteral("the default printer") : given), m_asked(paper)
{ }

void QueueState::found(const QString &name, std::optional<QPageSize> paper)
{
    m_lookup = Lookup::Found;
    m_name = name;
    m_default = paper;
}

QString QueueState::notFound(const QString &reason)
{
    m_lookup = Lookup::NotFound;
    // Files first: the capture goes on whatever the printer says.
    const bool news = !waiting();
    waits(reason);
    return news ? reason + QStringLiteral("; jobs are kept, and printed once the queue is there")
                : QString();
}

QString QueueState::waits(const QString &reason)
{
    const bool news = !waiting();
    m_reason = reason;
    ++m_failures;
    return news ? QStringLiteral("%1 does not take prints (%2); they wait and are tried again")
                      .arg(m_name, reason)
                : QString();
}

QString QueueState::takes()
{
    const bool news = waiting();
    const bool before = m_tookAny;
    m_reason.clear();
    m_failures = 0;
    m_tookAny = true;
    return news ? QStringLiteral("%1 takes prints %2").arg(m_name, before ? "again" : "now")
                : QString();
}

std::optional<QPageSize> QueueState::paper() const
{
    if (m_asked)
        return m_asked;
    if (m_lookup == Lookup::Found || m_lookup == Lookup::NotFound)
        return m_default.value_or(QPageSize(QPageSize::A4));
    return std::nullopt;
}
