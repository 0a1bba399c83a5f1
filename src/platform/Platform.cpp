#include "platform/Platform.h"

namespace vantrel {

namespace {
Platform& installed() {
    static Platform instance;
    return instance;
}
}  // namespace

const Platform& platform() {
    return installed();
}

void installPlatform(Platform platform) {
    installed() = std::move(platform);
}

}  // namespace vantrel
