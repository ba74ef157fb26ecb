// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Records what the link labels ask the desktop to open, in place of the desktop's opener.
#include "platform/shell/launch.h"

#include <memory>
#include <string>
#include <vector>

class LaunchRecorder : public platform::LaunchBackend {
public:
    std::vector<std::string> urls;
    bool openUrl(const std::string& url) override
    {
        urls.push_back(url);
        return true;
    }
    bool showProperties(const std::string&, platform::HWND) override { return true; }
};

/// Installs a recorder for its lifetime.
class RecordLaunches {
public:
    RecordLaunches() : recorder(std::make_shared<LaunchRecorder>()), previous_(platform::setLaunchBackend(recorder)) {}
    ~RecordLaunches() { platform::setLaunchBackend(previous_); }
    std::shared_ptr<LaunchRecorder> recorder;

private:
    std::shared_ptr<platform::LaunchBackend> previous_;
};
