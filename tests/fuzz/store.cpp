// The settings and profile store on any file content: loading, the text it saves, and the
// settings-text helpers that read parameters and project settings.
#include "main/AssArray.h"
#include "main/SettingsText.h"
#include "platform/exceptions.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = hv::fuzz::Text(data, size);
    hv::tAssArray store;
    try {
        store.LoadFromFile(hv::fuzz::WriteScratchFile("Profile.txt", text));
    } catch (const hv::Exception&) {
        return 0;
    }
    // What is saved reads back as the same pairs when no key or value holds a line break or
    // (in a key) an "=", and the first key does not begin with a byte-order mark (which reading
    // takes for the editor's mark before the text).
    const std::string saved = store.Text();
    hv::tAssArray again;
    again.LoadFromFile(hv::fuzz::WriteScratchFile("Again.txt", saved));
    bool plain = store.Items.empty() || !store.Items[0].Key.starts_with("\xEF\xBB\xBF");
    for (const auto& pair : store.Items)
        plain = plain && pair.Key.find_first_of("\r\n=") == std::string::npos &&
                pair.Value.find_first_of("\r\n") == std::string::npos && !pair.Key.empty();
    if (plain && again.Text() != saved) __builtin_trap();

    hv::SettingsLines(text);
    hv::ProjectSettingsPairs(text);
    hv::FindSettingValue("fullscreen", hv::LowerCaseAscii(text));
    return 0;
}
