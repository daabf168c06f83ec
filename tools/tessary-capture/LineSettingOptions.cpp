#include "LineSettingOptions.h"

#include "CommandLine.h"

#include <algorithm>

namespace {

struct SettingOption {
    LineSetting setting;
    const char *name;
    const char *valueName;
    const char *what;
};

// The options that set a line, each with the window's popup behind it.
const SettingOption kSettingOptions[] = {
    {LineSetting::Baud, "baud", "N", "the line speed"},
    {LineSetting::Bits, "bits", "N", "data bits"},
    {LineSetting::Parity, "parity", "P", "parity"},
    {LineSetting::StopBit, "stop", "N", "stop bits"},
    {LineSetting::DTR, "dtr", "on|off", "the DTR line"},
    {LineSetting::CTS, "cts", "on|off", "the RTS/CTS handshake"},
    {LineSetting::XON, "xon", "on|off", "the XON/XOFF handshake"},
};

// A word an option takes, and what it sets on the line.
struct SettingWord {
    QString word;
    void (*apply)(LineSettings &);
};

// The words an option takes, in the order of the window's popup items; for
// parity words of their own, then the two the popup does not offer.
QVector<SettingWord> wordsOf(LineSetting setting)
{
    static const QStringList parityWords = {QStringLiteral("none"), QStringLiteral("even"),
                                            QStringLiteral("odd")};
    const bool parity = setting == LineSetting::Parity;
    const QVector<LineSettingItem> &items = lineSettingPopup(setting).items;
    QVector<SettingWord> words;
    for (qsizetype i = 0; i < items.size(); ++i)
        words.append({parity ? parityWords.value(i) : items[i].text.toLower(), items[i].apply});
    if (parity) {
        words.append(
            {QStringLiteral("space"), setTo<&LineSettings::parity, QSerialPort::SpaceParity>});
        words.append(
            {QStringLiteral("mark"), setTo<&LineSettings::parity, QSerialPort::MarkParity>});
    }
    return words;
}

QStringList textsOf(const QVector<SettingWord> &words)
{
    QStringList texts;
    for (const SettingWord &word : words)
        texts << word.word;
    return texts;
}

QString describe(const SettingOption &option)
{
    QStringList words = textsOf(wordsOf(option.setting));
    words[lineSettingPopup(option.setting).defaultIndex] += QStringLiteral(" (default)");
    QString text =
        QStringLiteral("%1: %2 or %3")
            .arg(QLatin1String(option.what),
                 words.mid(0, words.size() - 1).join(QStringLiteral(", ")), words.last());
    if (option.setting == LineSetting::StopBit)
        text += QStringLiteral("; 1.5 means one stop bit, as in the window (Linux has no 1.5)");
    return text;
}

} // namespace

void addLineSettingOptions(CommandLine &line)
{
    for (const SettingOption &setting : kSettingOptions)
        line.add(QCommandLineOption(QString::fromLatin1(setting.name), describe(setting),
                                    QString::fromLatin1(setting.valueName)));
}

std::optional<QString> readLineSettingOptions(const QCommandLineParser &parser,
                                              LineSettings &settings)
{
    for (const SettingOption &setting : kSettingOptions) {
        const QString name = QString::fromLatin1(setting.name);
        if (!parser.isSet(name))
            continue;
        const QVector<SettingWord> words = wordsOf(setting.setting);
        const QString given = parser.value(name);
        const auto chosen = std::find_if(words.cbegin(), words.cend(), [&](const SettingWord &w) {
            return w.word == given.toLower();
        });
        if (chosen == words.cend())
            return QStringLiteral("--%1 takes %2, not \"%3\"")
                .arg(name, textsOf(words).join(QStringLiteral(", ")), given);
        chosen->apply(settings);
    }
    return std::nullopt;
}
