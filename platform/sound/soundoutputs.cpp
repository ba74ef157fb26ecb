// SPDX-License-Identifier: GPL-3.0-or-later
// The channel's volume and its choice among the server's outputs, which it follows as they come and go.
#include "platform/sound/soundchannel.h"

#include <algorithm>
#include <cmath>
#include <pulse/volume.h>

namespace platform::sound_detail {

void Channel::setVolume(double volume)
{
    if (!loop_)
        return;
    Lock lock(loop_);
    volume_ = std::isfinite(volume) ? std::clamp(volume, 0.0, 1.0) : 1.0;
    applyVolume();
}

double Channel::volume()
{
    if (!loop_)
        return volume_;
    Lock lock(loop_);
    return volume_;
}

void Channel::setGain(double decibels)
{
    if (!loop_)
        return;
    Lock lock(loop_);
    // Within what the server amplifies; anything else plays as it is.
    gainDb_ = std::isfinite(decibels) ? std::clamp(decibels, -90.0, 40.0) : 0.0;
    applyVolume();
}

unsigned Channel::streamVolume() const
{
    const auto volume = pa_volume_t(std::lround(volume_ * PA_VOLUME_NORM));
    return gainDb_ == 0.0
               ? volume
               : std::min(pa_sw_volume_multiply(volume, pa_sw_volume_from_dB(gainDb_)), pa_volume_t(PA_VOLUME_MAX));
}

void Channel::applyVolume()
{
    if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY)
        return;
    pa_cvolume volume;
    pa_cvolume_set(&volume, pa_stream_get_sample_spec(stream_)->channels, streamVolume());
    if (pa_operation* op =
            pa_context_set_sink_input_volume(context_, pa_stream_get_index(stream_), &volume, nullptr, nullptr))
        pa_operation_unref(op);
}

void Channel::setOutput(const std::string& name)
{
    if (!loop_)
        return;
    Lock lock(loop_);
    if (output_ == name)
        return;
    output_ = name;
    moveToOutput();
}

std::string Channel::output()
{
    if (!loop_)
        return output_;
    Lock lock(loop_);
    return output_;
}

void Channel::moveToOutput()
{
    if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY)
        return;
    const char* device = deviceForStream();
    const std::string target = device ? device : defaultOutput_;
    if (target.empty() || target == streamDevice_)
        return;
    streamDevice_ = device ? target : "";
    if (pa_operation* op = pa_context_move_sink_input_by_name(context_, pa_stream_get_index(stream_), target.c_str(),
                                                              nullptr, nullptr))
        pa_operation_unref(op);
}

std::vector<SoundOutput> Channel::outputs()
{
    if (!loop_)
        return {};
    Lock lock(loop_);
    return outputs_;
}

void Channel::watchOutputs(std::function<void()> changed)
{
    if (!loop_)
        return;
    Lock lock(loop_);
    outputsChanged_ = std::move(changed);
    if (outputsChanged_ && !context_)
        connect();
}

void Channel::listOutputs()
{
    if (listingBusy_) {
        listAgain_ = true;
        return;
    }
    listingBusy_ = true;
    listing_.clear();
    if (pa_operation* op = pa_context_get_server_info(context_, &Channel::onServerInfo, this))
        pa_operation_unref(op);
    if (pa_operation* op = pa_context_get_sink_info_list(context_, &Channel::onSinkInfo, this))
        pa_operation_unref(op);
    else
        listingBusy_ = false;
}

void Channel::onSubscription(pa_context* c, pa_subscription_event_type_t type, std::uint32_t, void* p)
{
    auto* self = static_cast<Channel*>(p);
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    if (c == self->context_ && (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SERVER))
        self->listOutputs();
}

void Channel::onServerInfo(pa_context* c, const pa_server_info* info, void* p)
{
    auto* self = static_cast<Channel*>(p);
    if (c == self->context_ && info && info->default_sink_name)
        self->defaultOutput_ = info->default_sink_name;
}

void Channel::onSinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* p)
{
    auto* self = static_cast<Channel*>(p);
    if (c != self->context_)
        return;
    if (eol == 0 && info) {
        self->listing_.push_back({info->name ? info->name : "", info->description ? info->description : ""});
        return;
    }
    self->listingBusy_ = false;
    if (self->listAgain_) {
        self->listAgain_ = false;
        self->listOutputs();
        return;
    }
    self->outputs_ = std::move(self->listing_);
    self->listing_.clear();
    self->outputsKnown_ = eol > 0;
    self->publishOutputs();
    // The chosen output may just have come back, or the running sound be on one that went.
    self->moveToOutput();
}

void Channel::publishOutputs()
{
    if (outputsChanged_)
        outputsChanged_();
}

} // namespace platform::sound_detail
