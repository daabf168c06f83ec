#include "app/MainMenuBar.h"

#include "app/Quit.h"

#include <QPointer>

namespace {

struct MenuItemRow {
    const char *menu; // objectName of the menu it belongs to
    const char *name;
    const char *text; // "-" makes a separator
    QKeySequence::StandardKey standardKey;
    const char *shortcut; // portable text; used when the platform has no standard key
    QAction::MenuRole role;
};

struct MenuRow {
    const char *name;
    const char *title;
};

const MenuRow kMenus[] = {
    {"FileMenu", "&File"},
    {"EditMenu", "&Edit"},
};

constexpr auto kNoKey = QKeySequence::UnknownKey;
constexpr auto kNoRole = QAction::NoRole;

// The Edit items only carry the standard behaviour of a focused editor; the
// window holds none, so they have no handler of their own.
const MenuItemRow kItems[] = {
    {"FileMenu", "FileQuit", "&Quit", QKeySequence::Quit, "Ctrl+Q", QAction::QuitRole},
    {"EditMenu", "EditUndo", "&Undo", QKeySequence::Undo, "Ctrl+Z", kNoRole},
    {"EditMenu", "EditSeparator1", "-", kNoKey, "", kNoRole},
    {"EditMenu", "EditCut", "Cu&t", QKeySequence::Cut, "Ctrl+X", kNoRole},
    {"EditMenu", "EditCopy", "&Copy", QKeySequence::Copy, "Ctrl+C", kNoRole},
    {"EditMenu", "EditPaste", "&Paste", QKeySequence::Paste, "Ctrl+V", kNoRole},
    {"EditMenu", "EditClear", "&Delete", kNoKey, "", kNoRole},
    {"EditMenu", "EditSeparator2", "-", kNoKey, "", kNoRole},
    {"EditMenu", "EditSelectAll", "Select &All", QKeySequence::SelectAll, "Ctrl+A", kNoRole},
};

QKeySequence shortcutFor(const MenuItemRow &item)
{
    // The first binding only: Undo, for one, has a second one on some platforms.
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(item.standardKey);
    if (item.standardKey != kNoKey && !bindings.isEmpty())
        return bindings.first();
    return QKeySequence(QString::fromLatin1(item.shortcut), QKeySequence::PortableText);
}

QPointer<MainMenuBar> sharedMenuBar;

} // namespace

MainMenuBar *MainMenuBar::instance()
{
    // The window that shows the bar owns it from then on; should it go, a
    // later request builds a new one.
    if (!sharedMenuBar)
        sharedMenuBar = new MainMenuBar;
    return sharedMenuBar;
}

MainMenuBar::MainMenuBar()
{
    setObjectName(QStringLiteral("MainMenuBar"));
    for (const MenuRow &row : kMenus) {
        QMenu *menu = addMenu(tr(row.title));
        menu->setObjectName(QString::fromLatin1(row.name));
        menu->menuAction()->setObjectName(QString::fromLatin1(row.name));
    }
    for (const MenuItemRow &item : kItems) {
        auto *menu = findChild<QMenu *>(QString::fromLatin1(item.menu));
        QAction *action = QString::fromLatin1(item.text) == QLatin1String("-")
            ? menu->addSeparator()
            : menu->addAction(tr(item.text));
        action->setObjectName(QString::fromLatin1(item.name));
        if (action->isSeparator())
            continue;
        action->setShortcut(shortcutFor(item));
        action->setMenuRole(item.role);
    }
    QAction *quit = findChild<QAction *>(QStringLiteral("FileQuit"));
    connect(quit, &QAction::triggered, this, [] { requestQuit(0); });
}
