#include "engine/media_control.h"

#include <string>

#include "wave/riff_reader.h"

namespace vocalith::engine {

namespace {

constexpr std::string_view OPEN_PREFIX = "open ";
constexpr std::string_view OPEN_SUFFIX = " alias song";
constexpr std::string_view PLAY_COMMAND = "play song from 0 notify";
constexpr std::string_view CLOSE_COMMAND = "close song";

}  // namespace

base::Result MediaControl::SendString(std::string_view command, device::OutputDevice* outputDevice,
                                      device::UiDispatcher* dispatcher,
                                      std::function<void(uint32_t)> notify) {
    if (command == CLOSE_COMMAND) {
        if (!open_) return base::Result::Fail("\"song\" is not open", MEDIA_ERR_NOT_OPEN);
        if (buffer_ != nullptr) buffer_->Stop();
        buffer_.reset();
        data_.clear();
        open_ = false;
        playing_ = false;
        return {};
    }
    if (command == PLAY_COMMAND) {
        if (!open_) return base::Result::Fail("\"song\" is not open", MEDIA_ERR_NOT_OPEN);
        dispatcher_ = dispatcher;
        notify_ = std::move(notify);
        if (buffer_ == nullptr && outputDevice != nullptr && !data_.empty()) {
            buffer_ = outputDevice->CreateBuffer(format_, static_cast<uint32_t>(data_.size()));
            if (buffer_ != nullptr &&
                buffer_->Write(0, data_.data(), static_cast<uint32_t>(data_.size())) !=
                    device::DeviceResult::Ok) {
                buffer_.reset();
            }
        }
        if (buffer_ != nullptr) {
            buffer_->Stop();
            buffer_->SetCurrentPosition(0);
            buffer_->Play(false);
        }
        startTick_ = clock_.Now();
        playing_ = true;
        return {};
    }
    if (command.size() > OPEN_PREFIX.size() + OPEN_SUFFIX.size() &&
        command.substr(0, OPEN_PREFIX.size()) == OPEN_PREFIX &&
        command.substr(command.size() - OPEN_SUFFIX.size()) == OPEN_SUFFIX) {
        if (open_) return base::Result::Fail("\"song\" is open already", MEDIA_ERR_ALREADY_OPEN);
        const std::string file(command.substr(
            OPEN_PREFIX.size(), command.size() - OPEN_PREFIX.size() - OPEN_SUFFIX.size()));
        wave::FileSource source;
        wave::WaveChunks chunks;
        if (!source.Open(file) || !wave::FindWaveChunks(source, chunks) ||
            chunks.format.avgBytesPerSec == 0 || !wave::ReadWaveData(source, chunks, data_)) {
            data_.clear();
            return base::Result::Fail("cannot read " + file + " as a WAVE file", MEDIA_ERR_FILE);
        }
        format_ = chunks.format;
        durationMs_ = static_cast<uint32_t>(static_cast<uint64_t>(data_.size()) * 1000 /
                                            format_.avgBytesPerSec);
        open_ = true;
        playing_ = false;
        return {};
    }
    return base::Result::Fail("not a command the music control knows", MEDIA_ERR_UNRECOGNIZED);
}

void MediaControl::Poll() {
    if (!playing_ || clock_.Now() - startTick_ < durationMs_) return;
    playing_ = false;
    if (!notify_) return;
    if (dispatcher_ != nullptr) {
        dispatcher_->Post([fn = notify_] { fn(MEDIA_NOTIFY_SUCCESSFUL); });
    } else {
        notify_(MEDIA_NOTIFY_SUCCESSFUL);
    }
}

}  // namespace vocalith::engine
