// The capture module's one exported symbol (module.h); everything else in
// the module is hidden, so that its calls bind to its own encoders.
#include "platform/encode/module.h"

namespace platform::encode {

extern "C" __attribute__((visibility("default"))) const CaptureEntries* eyesonlyCaptureEntries() {
    static const CaptureEntries entries = {
        captureModuleVersion, openEncodedFile,    encodeFrame,   encodeSound,   closeEncodedFile,
        holdFilePlayable,     openFrameDirectory, writeFramePng, writeWavSound, closeFrameDirectory,
        writeWholeFile,
    };
    return &entries;
}

}  // namespace platform::encode
