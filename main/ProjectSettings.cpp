#include "main/ProjectSettings.h"

#include "log/KavLogEngine.h"
#include "main/SettingsText.h"
#include "platform/convert.h"
#include "platform/files.h"
#include "platform/system.h"

namespace hv {

int32_t ElapsedMs() {
    return int32_t(GetTickCount() - StartTickCount);
}

void SetUpUserDataDir() {
    UserDataDir = ExeDir();
    std::string appData = AppDataDir();
    if (appData.empty()) return;
    std::string folder = appData + "/My Games/Orvandel/" + ProjectName;
    ForceDirectories(folder);
    UserDataDir = folder + "/";
}

void ApplyProjectSettings(std::string_view settings) {
    for (const auto& [name, value] : ProjectSettingsPairs(settings)) {
        if (name == "ProjectName") {
            ProjectName = value;
        } else if (name == "DetalizationMode") {
            int32_t level = StrToInt(value);
            if (TLogFile* file = LogEngine().DefaultLogFile)
                file->DetalizationMode = uint8_t(level);
        }
    }
    SetUpUserDataDir();
    LogEngine().DefaultLogFile = LogEngine().AddLogFile(UserDataDir + ProjectName + ".log");
}

}  // namespace hv
