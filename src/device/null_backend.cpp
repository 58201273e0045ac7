#include "device/backends.h"

namespace vocalith::device {

namespace {
class NullBackend final : public AudioBackend {
  public:
    std::unique_ptr<OutputDevice> OpenOutput() override { return nullptr; }
    std::unique_ptr<CaptureDevice> OpenCapture() override { return nullptr; }
};
}  // namespace

std::unique_ptr<AudioBackend> MakeNullBackend() {
    return std::make_unique<NullBackend>();
}

}  // namespace vocalith::device
