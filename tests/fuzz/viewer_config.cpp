// The viewer configuration file "KavViewer.config" on any content, read by the form as at
// start-up.
#include "main/MainForm.h"
#include "platform/exceptions.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    hv::fuzz::WriteScratchFile("KavViewer.config", hv::fuzz::Text(data, size));
    hv::TMainForm form;
    try {
        form.ParseParametersFromConfig();
    } catch (const hv::Exception&) {
    }
    return 0;
}
