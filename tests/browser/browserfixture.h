// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A browser window on a temporary drive C: with its own settings file, for the window's tests.

#include "browser/BrowserWindow.h"
#include "browser/CursorTable.h"
#include "browser/WaveRowReading.h"
#include "browserwindowaccess.h"
#include "platform/settings/regfile.h"
#include "platform/sound/sound.h"
#include "support/soundmonitor.h"
#include "support/tempdrive.h"

#include <QApplication>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeWidgetItem>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace browser_testing {

/// Whether a sound is heard, where a test sound server runs; without one a play ends at once, and the
/// states are checked all the same.
inline bool soundingWhereServed()
{
    return !testing_support::SoundMonitor::serverConfigured() || platform::soundIsPlaying();
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config_.isValid());
        oldConfig_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        // The measures cache too stays in the test's own folder.
        oldCache_ = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", (config_.path() + "/cache").toUtf8());
    }
    void TearDown() override
    {
        form_.reset();
        qputenv("XDG_CONFIG_HOME", oldConfig_);
        qputenv("XDG_CACHE_HOME", oldCache_);
    }

    /// Writes settings values before the window starts.
    void setDword(const std::string& name, std::int32_t v)
    {
        auto key = openKey();
        platform::regWriteDword(key, name, v);
        platform::RegCloseKey(key);
    }
    void setString(const std::string& name, const std::string& v)
    {
        auto key = openKey();
        platform::regWriteString(key, name, v);
        platform::RegCloseKey(key);
    }
    /// The stored settings key as the file holds it now (null when absent).
    platform::regfile::Document storedSettings() const
    {
        QFile f(config_.path() + "/tonfolio/settings.reg");
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return platform::regfile::parse(f.readAll().toStdString());
    }

    /// One stored value of the window's key, if the file holds it.
    std::optional<platform::regfile::Value> storedValue(const std::string& name) const
    {
        const auto doc = storedSettings();
        const auto* key = doc.find("HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio");
        const auto* v = key ? platform::regfile::findValue(*key, name) : nullptr;
        return v ? std::optional<platform::regfile::Value>(*v) : std::nullopt;
    }

    /// Starts the window, shown and active.
    BrowserWindow& start()
    {
        form_ = std::make_unique<BrowserWindow>();
        form_->show();
        form_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        return *form_;
    }
    void closeForm()
    {
        form_->close();
        form_.reset();
    }
    BrowserWindow& form() { return *form_; }

    /// Fills a folder of drive C: with files.
    void wave(const std::string& rel, int channels = 1, int rate = 8000, int bits = 16, int frames = 800)
    {
        drive_.write(rel, testing_support::makeWav(channels, rate, bits, frames));
    }

    /// Gives a wave list on its own the rows of a folder of drive C: ("A" for C:\A\) as the window's fill
    /// would; returns the folder's drive path.
    std::string fillList(WaveListWidget& list, const std::string& folder)
    {
        const std::string path = "C:\\" + folder + "\\";
        const QDir dir(QString::fromStdString(drive_.native(folder)));
        std::vector<WaveRow> rows;
        for (const QString& name : dir.entryList({"*.wav"}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
            rows.push_back(listedRow(name.toStdString(), 0));
            takeHeader(rows.back(), readHeaderTexts(path + name.toStdString()));
        }
        list.model()->setRows(std::move(rows));
        return path;
    }

    /// A wave of the given playing time (a quiet tone, so a server would have something to play), 8 kHz
    /// mono 8-bit: one byte per frame keeps seconds of sound small on disk.
    static constexpr int kToneRate = 8000;
    void waveOf(const std::string& rel, double seconds)
    {
        drive_.write(rel, testing_support::makeWav(1, kToneRate, 8, int(seconds * kToneRate), 440.0));
    }
    void unreadable(const std::string& rel) { drive_.write(rel, std::string(500, 'x')); }

    QStringList captions() const
    {
        QStringList out;
        auto* m = ui(*form_).WaveList->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->data(m->index(r, 0), Qt::DisplayRole).toString();
        return out;
    }
    QString cell(int row, int column) const
    {
        auto* m = ui(*form_).WaveList->model();
        return m->data(m->index(row, column), Qt::DisplayRole).toString();
    }
    /// The middle of a folder's node in the tree, scrolled into view.
    QPoint at(const std::string& folder)
    {
        QTreeWidgetItem* node = ui(form()).FolderTree->FindNode(folder);
        EXPECT_NE(node, nullptr) << folder;
        ui(form()).FolderTree->scrollToItem(node);
        return node ? ui(form()).FolderTree->visualItemRect(node).center() : QPoint(-1, -1);
    }
    /// Moves over the tree and drops there, as the drag manager delivers it. Returns whether the
    /// last move was accepted.
    bool dragTo(const QPoint& pos, Qt::KeyboardModifiers keys, const QMimeData* mime = nullptr)
    {
        std::unique_ptr<QMimeData> own;
        if (!mime) {
            own.reset(ui(form()).WaveList->rowMimeData(ui(form()).WaveList->selectedRow()));
            mime = own.get();
        }
        QWidget* viewport = ui(form()).FolderTree->viewport();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(pos, actions, mime, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(pos, actions, mime, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &move);
        QDropEvent drop(QPointF(pos), actions, mime, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &drop);
        QApplication::processEvents();
        return move.isAccepted();
    }

    void selectFolder(const std::string& path)
    {
        ui(*form_).FolderTree->SelectPath(path);
        QApplication::processEvents();
    }
    void focus(QWidget* w)
    {
        w->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }

    testing_support::TempDrive drive_;
    QTemporaryDir config_;
    QByteArray oldConfig_;
    QByteArray oldCache_;
    std::unique_ptr<BrowserWindow> form_;

private:
    platform::HKEY openKey()
    {
        platform::HKEY key = nullptr;
        platform::RegCreateKeyEx(platform::HKEY_CURRENT_USER, "Software\\Varnholt\\Tonfolio", 0, nullptr, 0,
                                 platform::KEY_ALL_ACCESS, nullptr, &key, nullptr);
        return key;
    }
};

} // namespace browser_testing
