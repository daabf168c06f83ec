#include "ServiceStatus.h"

#include "Counted.h"
#include "Outcome.h"
#include "PrintSpool.h"

#include <systemd/sd-daemon.h>

void ServiceStatus::show(bool portOpen, int printsWaiting, const QString &queue,
                         const QString &trouble)
{
    QString text = portOpen ? QStringLiteral("capturing %1").arg(m_port)
                            : QStringLiteral("waiting for the port %1").arg(m_port);
    if (printsWaiting > 0)
        text += QStringLiteral("; %1 waiting for %2")
                    .arg(counted(printsWaiting, "print", "prints"), queue);
    if (!trouble.isEmpty())
        text += QStringLiteral("; prints are not kept on disk: ") + trouble;
    if (text == m_text)
        return;
    m_text = text;
    // Ready once systemd has heard it.
    if (sd_notifyf(0, "%sSTATUS=%s", m_ready ? "" : "READY=1\n", qUtf8Printable(text)) > 0)
        m_ready = true;
}

void ServiceStatus::ended(int exitStatus, const PrintSpool *prints)
{
    if (exitStatus == 0)
        m_text = QStringLiteral("ended: everything saved");
    else if (exitStatus == Outcome::kPrintsWait && prints)
        m_text = QStringLiteral("ended: %1 for %2")
                     .arg(counted(prints->kept(), "print waits", "prints wait"), prints->queue());
    else
        m_text = QStringLiteral("ended: not everything is saved or printed; the log says what");
    sd_notifyf(0, "STATUS=%s", qUtf8Printable(m_text));
}

void ServiceStatus::stopping()
{
    m_text = QStringLiteral("stopping: saving the last job");
    sd_notifyf(0, "STOPPING=1\nSTATUS=%s", qUtf8Printable(m_text));
}
