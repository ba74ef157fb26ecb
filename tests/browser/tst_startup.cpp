// SPDX-License-Identifier: GPL-3.0-or-later
// The browser window's start-up, stored settings and layout.
#include "browser/SettingsRecord.h"
#include "browser/WindowPlacement.h"
#include "browserfixture.h"
#include "browser/WaveformStrip.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QScreen>
#include <QLineEdit>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <functional>

using namespace browser_testing;
using platform::REG_DWORD;
using platform::REG_SZ;

namespace {

class Startup : public BrowserTest {};

TEST_F(Startup, FirstStartUsesTheLayoutAndWritesEveryValueOnClose)
{
    BrowserWindow& w = start();
    EXPECT_TRUE(ui(w).LargeBtn->isChecked());
    EXPECT_EQ(ui(w).WaveList->viewStyle(), WaveListWidget::vsIcon);
    EXPECT_FALSE(ui(w).LoopBtn->isChecked());
    EXPECT_FALSE(ui(w).AllWavesBtn->isChecked());
    EXPECT_EQ(w.frameGeometry(), QRect(202, 108, 825, 567));
    EXPECT_FALSE(playback(w).endOfSoundTimer()->isActive());
    EXPECT_EQ(playback(w).endOfSoundTimer()->interval(), 1000);
    EXPECT_TRUE(BrowserWindowTestAccess::copyOnDrop(w));
    EXPECT_FALSE(playback(w).playing());

    closeForm();
    const auto doc = storedSettings();
    const auto* key = doc.find("HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio");
    ASSERT_TRUE(key);
    const std::pair<const char*, platform::DWORD> expected[] = {
        {"PlayLooped", REG_DWORD}, {"LastDir", REG_SZ}, {"DisplayFiles", REG_DWORD}, {"PlaySingle", REG_DWORD},
        {"Left", REG_DWORD},       {"Top", REG_DWORD},  {"Height", REG_DWORD},       {"Width", REG_DWORD},
        // The values of the program's own features.
        {"MeasureColumns", REG_DWORD}, {"SortColumn", REG_DWORD}, {"SortDescending", REG_DWORD},
        {"PreviewVolume", REG_DWORD}, {"OutputDevice", REG_SZ}, {"PlayOnSelect", REG_DWORD},
        {"ShowWaveform", REG_DWORD}, {"WaveformHeight", REG_DWORD}};
    for (const auto& [name, type] : expected) {
        const auto* v = platform::regfile::findValue(*key, name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->type, type) << name;
    }
    EXPECT_EQ(platform::regfile::findValue(*key, "DisplayFiles")->data, std::string("\2\0\0\0", 4));
    EXPECT_EQ(platform::regfile::findValue(*key, "PlaySingle")->data, std::string("\1\0\0\0", 4));
    EXPECT_EQ(platform::regfile::findValue(*key, "Left")->data, std::string("\xca\0\0\0", 4));
}

struct DisplayCase {
    int stored;
    WaveListWidget::ViewStyle style;
    int written;
};

TEST_F(Startup, DisplayFilesChoosesTheViewAndUnknownValuesMeanDetails)
{
    const DisplayCase cases[] = {{1, WaveListWidget::vsSmallIcon, 1}, {2, WaveListWidget::vsIcon, 2},
                                 {3, WaveListWidget::vsList, 3},      {4, WaveListWidget::vsReport, 4},
                                 {0, WaveListWidget::vsReport, 4},    {5, WaveListWidget::vsReport, 4},
                                 {-1, WaveListWidget::vsReport, 4}};
    for (const auto& c : cases) {
        setDword("DisplayFiles", c.stored);
        BrowserWindow& w = start();
        EXPECT_EQ(ui(w).WaveList->viewStyle(), c.style) << c.stored;
        EXPECT_EQ(ui(w).WaveList->currentWidget(), ui(w).WaveList->currentView()) << c.stored;
        closeForm();
        const auto v = storedValue("DisplayFiles");
        ASSERT_TRUE(v);
        EXPECT_EQ(v->type, REG_DWORD);
        EXPECT_EQ(v->data, std::string(1, char(c.written)) + std::string(3, '\0')) << c.stored;
    }
}

TEST_F(Startup, StoredModesAndBoundsAreApplied)
{
    setDword("PlayLooped", 7);
    setDword("PlaySingle", 0);
    setDword("Left", 10);
    setDword("Width", 700); // Top and Height absent: they keep the layout's values
    setDword("PreviewVolume", 40);
    setDword("ShowWaveform", 1);
    BrowserWindow& w = start();
    EXPECT_TRUE(ui(w).LoopBtn->isChecked());
    EXPECT_TRUE(ui(w).AllWavesBtn->isChecked());
    EXPECT_TRUE(playback(w).allWavesMode());
    EXPECT_EQ(audition(w).volumeSlider()->value(), 40);
    EXPECT_TRUE(waveform(w).menuItem()->isChecked());
    EXPECT_EQ(w.frameGeometry(), QRect(10, 108, 700, 567));
    closeForm();

    setDword("PlaySingle", 5);
    setDword("PlayLooped", 0);
    BrowserWindow& again = start();
    EXPECT_FALSE(ui(again).AllWavesBtn->isChecked());
    EXPECT_FALSE(ui(again).LoopBtn->isChecked());
}

// Where the window is put back is decided by its placement alone, on a plain window.
TEST(WindowPlacement, AWindowWhoseTitleWouldShowOnNoScreenComesOntoThePrimaryScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        int left, top;
        bool kept;
    } cases[] = {
        {10, 20, true},
        {screen.right() - 99, screen.top() + 50, true}, // mostly off the screen, the title still in reach
        {-32767, -32767, false},
        {32767, 32767, false},
        {-32767, 32767, false},
        {screen.left(), screen.top() - 5000, false}, // the title far above the screen
        {screen.left(), screen.bottom() + 1, false}, // just below it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.left) + "," + std::to_string(c.top));
        QWidget window;
        WindowPlacement placement(window);
        placement.place(QRect(202, 108, 825, 567));
        SettingsRecord stored;
        stored.left = c.left;
        stored.top = c.top;
        stored.width = 700;
        stored.height = 500;
        placement.applySettings(stored);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QRect bounds = window.frameGeometry();
        EXPECT_EQ(bounds.size(), QSize(700, 500));
        if (c.kept) {
            EXPECT_EQ(bounds.topLeft(), QPoint(c.left, c.top));
        } else {
            EXPECT_TRUE(screen.contains(bounds.topLeft())) << bounds.left() << "," << bounds.top();
            EXPECT_GE(screen.intersected(bounds).width(), std::min(screen.width(), 700));
        }
        // What is stored back is where the window was shown.
        SettingsRecord kept;
        placement.storeSettings(kept);
        EXPECT_EQ(kept.left, bounds.left());
        EXPECT_EQ(kept.top, bounds.top());
        EXPECT_EQ(kept.width, 700);
        EXPECT_EQ(kept.height, 500);
    }
}

TEST_F(Startup, AnEmptyLastDirCountsAsAbsent)
{
    drive_.mkdirs("SOUNDS");
    setString("LastDir", "");
    BrowserWindow& w = start();
    EXPECT_NE(ui(w).FolderTree->SelectedPath(), "?");
}

TEST_F(Startup, LastDirSelectsTheFolderAndFillsTheList)
{
    wave("SOUNDS/DRUMS/kick.wav");
    setString("LastDir", "C:\\SOUNDS\\DRUMS\\");
    BrowserWindow& w = start();
    EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\SOUNDS\\DRUMS\\");
    EXPECT_EQ(w.windowTitle(), "Tonfolio - DRUMS");
    EXPECT_EQ(captions(), QStringList{"kick.wav"});
    closeForm();
    ASSERT_TRUE(storedValue("LastDir"));
    EXPECT_EQ(storedValue("LastDir")->data, std::string("C:\\SOUNDS\\DRUMS\\\0", 17));
}

TEST_F(Startup, AMissingOrMarkerFolderKeepsTheInitialSelection)
{
    for (const char* dir : {"?", "C:\\GONE\\AWAY\\", "Q:\\NODRIVE\\"}) {
        setString("LastDir", dir);
        BrowserWindow& w = start();
        EXPECT_EQ(ui(w).FolderTree->SelectedPath(), "C:\\") << dir;
        EXPECT_EQ(w.windowTitle(), "Tonfolio - SYSTEM (C:)") << dir;
        closeForm();
    }
}

TEST_F(Startup, NoFolderSelectedAtCloseStoresTheMarker)
{
    BrowserWindow& w = start();
    ui(w).FolderTree->setCurrentItem(nullptr);
    ASSERT_EQ(ui(w).FolderTree->SelectedPath(), "?");
    EXPECT_EQ(ui(w).WaveList->hint(), "No waves found");
    closeForm();
    ASSERT_TRUE(storedValue("LastDir"));
    EXPECT_EQ(storedValue("LastDir")->data, std::string("?\0", 2));
}

TEST_F(Startup, ViewButtonsFormOneGroupAndModeButtonsToggleAlone)
{
    BrowserWindow& w = start();
    ui(w).ListBtn->trigger();
    EXPECT_EQ(ui(w).WaveList->viewStyle(), WaveListWidget::vsList);
    EXPECT_FALSE(ui(w).LargeBtn->isChecked());
    ui(w).ListBtn->trigger(); // pressing the button that is down leaves it down
    EXPECT_TRUE(ui(w).ListBtn->isChecked());
    ui(w).DetailBtn->trigger();
    EXPECT_EQ(ui(w).WaveList->viewStyle(), WaveListWidget::vsReport);
    EXPECT_FALSE(ui(w).ListBtn->isChecked());
    ui(w).LoopBtn->trigger();
    ui(w).AllWavesBtn->trigger();
    EXPECT_TRUE(ui(w).LoopBtn->isChecked() && ui(w).AllWavesBtn->isChecked() && ui(w).DetailBtn->isChecked());
}

// A screen reader presses and toggles the buttons through their accessible actions: each does what a
// click does, and the button shows the state the program acts on.
TEST_F(Startup, ToolbarButtonsDoThroughTheAccessibleInterfaceWhatAClickDoes)
{
    BrowserWindow& w = start();
    const auto viewIs = [&](WaveListWidget::ViewStyle style) { return [&w, style] { return ui(w).WaveList->viewStyle() == style; }; };
    const struct {
        QAction* button;
        std::function<bool()> done;
        bool checked; ///< the button's state afterwards
    } cases[] = {
        {ui(w).DetailBtn, viewIs(WaveListWidget::vsReport), true},
        {ui(w).DetailBtn, viewIs(WaveListWidget::vsReport), true}, // the view button that is down stays down
        {ui(w).SmallBtn, viewIs(WaveListWidget::vsSmallIcon), true},
        {ui(w).ListBtn, viewIs(WaveListWidget::vsList), true},
        {ui(w).LargeBtn, viewIs(WaveListWidget::vsIcon), true},
        {waveform(w).button(), [&w] { return waveform(w).strip()->isVisible() && waveform(w).menuItem()->isChecked(); }, true},
        {waveform(w).button(), [&w] { return waveform(w).strip()->isHidden() && !waveform(w).menuItem()->isChecked(); }, false},
        {ui(w).LoopBtn, [&w] { return ui(w).LoopBtn->isChecked(); }, true},
        {ui(w).AllWavesBtn, [&w] { return ui(w).AllWavesBtn->isChecked(); }, true},
        {audition(w).playOnSelection(), [&w] { return audition(w).playOnSelection()->isChecked(); }, true},
        {ui(w).LoopBtn, [&w] { return !ui(w).LoopBtn->isChecked(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        auto* button = qobject_cast<QAbstractButton*>(ui(w).MainToolBar->widgetForAction(c.button));
        ASSERT_NE(button, nullptr);
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(button);
        ASSERT_TRUE(access && access->actionInterface());
        const QStringList actions = access->actionInterface()->actionNames();
        ASSERT_FALSE(actions.isEmpty());
        access->actionInterface()->doAction(actions.first());
        QApplication::processEvents();
        EXPECT_TRUE(c.done());
        EXPECT_EQ(button->isChecked(), c.checked);
        EXPECT_EQ(access->state().checked, c.checked);
    }
    // The menu's Waveform item, too.
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(ui(w).FileMenu);
    for (int i = 0; item && i < item->childCount(); ++i)
        if (item->child(i)->text(QAccessible::Name) == "Waveform")
            item->child(i)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(waveform(w).button()->isChecked());
    // The volume slider is named and tells its value.
    QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(audition(w).volumeSlider());
    audition(w).volumeSlider()->setValue(40);
    EXPECT_EQ(slider->text(QAccessible::Name), "Preview volume");
    EXPECT_EQ(slider->valueInterface()->currentValue().toInt(), 40);
    // The filter box's buttons (its clear button, the sign of a condition it cannot read) are named too.
    filter(w).box()->setText("kick bpm:abc");
    int named = 0;
    for (QToolButton* inBox : filter(w).box()->findChildren<QToolButton*>())
        if (inBox->isVisibleTo(filter(w).box())) {
            EXPECT_FALSE(QAccessible::queryAccessibleInterface(inBox)->text(QAccessible::Name).isEmpty());
            ++named;
        }
    EXPECT_EQ(named, 2);
    // So is the button that opens each toolbar's overflow.
    for (QToolBar* bar : w.findChildren<QToolBar*>()) {
        SCOPED_TRACE(bar->windowTitle().toStdString());
        auto* more = bar->findChild<QWidget*>("qt_toolbar_ext_button");
        ASSERT_NE(more, nullptr);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(more)->text(QAccessible::Name), "More commands");
    }
}

TEST_F(Startup, MenuAndToolbarCarryTheirHintsShortcutsAndImages)
{
    const QString theme = QIcon::themeName();
    QIcon::setThemeName("no-such-theme"); // the program's own pictures
    BrowserWindow& w = start();
    QIcon::setThemeName(theme);
    EXPECT_EQ(ui(w).ExitItem->shortcut(), QKeySequence("Alt+F4"));
    EXPECT_EQ(ui(w).AboutItem->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(ui(w).RenameItem->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(ui(w).DeleteItem->shortcut(), QKeySequence(QKeySequence::Delete));
    EXPECT_EQ(ui(w).EditWave->statusTip(), "Starts your default wave editor with the selected file");
    // 15 buttons, the volume slider, the waveform toggle and 7 separators; the filter box in a bar of its own.
    EXPECT_EQ(ui(w).MainToolBar->actions().size(), 24);
    // The box, and after it the scope toggle and the Like menu, which a narrow window folds away first.
    const QList<QAction*> filterBar = filter(w).bar()->actions();
    EXPECT_EQ(filter(w).bar()->widgetForAction(filterBar.value(filterBar.size() - 3)), filter(w).box());
    EXPECT_EQ(filterBar.value(filterBar.size() - 2)->objectName(), "LibraryScopeBtn");
    EXPECT_EQ(filterBar.last()->objectName(), "LikeBtn");
    EXPECT_EQ(w.findChild<QAction*>("MoreLikeThisItem")->shortcut(), QKeySequence("Ctrl+M"));
    EXPECT_FALSE(audition(w).volumeSlider()->statusTip().isEmpty());
    for (QAction* a : ui(w).MainToolBar->actions()) {
        if (a->isSeparator() || ui(w).MainToolBar->widgetForAction(a))
            continue;
        EXPECT_FALSE(a->icon().pixmap(20, 20, QIcon::Normal).isNull()) << a->objectName().toStdString();
        EXPECT_FALSE(a->icon().pixmap(20, 20, QIcon::Disabled).isNull()) << a->objectName().toStdString();
        EXPECT_FALSE(a->statusTip().isEmpty()) << a->objectName().toStdString();
        // Sharp on a screen scaled by 2: drawn at 40 device pixels, not a 20-pixel picture enlarged.
        EXPECT_EQ(a->icon().pixmap(QSize(20, 20), 2.0).size(), QSize(40, 40)) << a->objectName().toStdString();
    }
    // A hint reaches the status bar; an item without one clears it.
    ui(w).AboutItem->showStatusText(&w);
    EXPECT_EQ(ui(w).StatusBar->currentMessage(), "About Tonfolio");
    ui(w).PlayItem->showStatusText(&w);
    EXPECT_EQ(ui(w).StatusBar->currentMessage(), "");
    EXPECT_EQ(cursorOf(crWaveCur).pixmap().size(), QSize(32, 32));
    EXPECT_EQ(cursorOf(crDragCopy).hotSpot(), QPoint(0, 0));
}

TEST_F(Startup, ToolbarTakesTheDesktopThemesIconsWhereItHasThem)
{
    QTemporaryDir themes;
    QDir(themes.path()).mkpath("test/scalable/actions");
    QFile index(themes.path() + "/test/index.theme");
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Test\nDirectories=scalable/actions\n\n"
                "[scalable/actions]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    index.close();
    for (const char* name : {"media-playback-start", "application-exit"})
        ASSERT_TRUE(QFile::copy(":/browser/stop.svg", themes.path() + "/test/scalable/actions/" + name + ".svg"));
    const QStringList paths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName("test");
    BrowserWindow& w = start();
    EXPECT_EQ(ui(w).PlayBtn->icon().name(), "media-playback-start");
    EXPECT_EQ(ui(w).ExitBtn->icon().name(), "application-exit");
    // Where the theme has none, the program's own picture.
    EXPECT_TRUE(ui(w).StopBtn->icon().name().isEmpty());
    EXPECT_FALSE(ui(w).StopBtn->icon().pixmap(20, 20).isNull());
    QIcon::setThemeName(theme);
    QIcon::setThemeSearchPaths(paths);
}

} // namespace
