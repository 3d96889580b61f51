// The one table of TMainForm's published methods: every row becomes a script global of the same
// name when the form is registered with its script engine. Script functions come first, in the
// order of the host-function index; then the host operations, which the script must not call
// (their globals do nothing).
#include "main/MainForm.h"

namespace hv {

// clang-format off
HV_PUBLISHED_METHODS(TMainForm, TObject,
    HV_PUBLISH(TMainForm, LowBitsInHistoryForLua),
    HV_PUBLISH(TMainForm, SetoffsetXY),
    HV_PUBLISH(TMainForm, QuitGame),
    HV_PUBLISH(TMainForm, InitLogFile),
    HV_PUBLISH(TMainForm, WriteToLogFile),
    HV_PUBLISH(TMainForm, SetFormCaption),
    HV_PUBLISH(TMainForm, LoadLuas),
    HV_PUBLISH(TMainForm, ReLoadLua),
    HV_PUBLISH(TMainForm, GroupBegin),
    HV_PUBLISH(TMainForm, GroupEnd),
    HV_PUBLISH(TMainForm, GetParamsFromCode),
    HV_PUBLISH(TMainForm, SetParamsToCode),
    HV_PUBLISH(TMainForm, GetProfileFromCode),
    HV_PUBLISH(TMainForm, SetProfileToCode),
    HV_PUBLISH(TMainForm, SetProfileParam),
    HV_PUBLISH(TMainForm, WSurvey_BOk),
    HV_PUBLISH(TMainForm, InitSound),
    HV_PUBLISH(TMainForm, LoadSound),
    HV_PUBLISH(TMainForm, PlaySound),
    HV_PUBLISH(TMainForm, StopSound),
    HV_PUBLISH(TMainForm, SetVolumeSound),
    HV_PUBLISH(TMainForm, FreeSounds),
    HV_PUBLISH(TMainForm, ParseParameters),
    HV_PUBLISH_INERT(TMainForm, FormActivate),
    HV_PUBLISH_INERT(TMainForm, FormCreate),
    HV_PUBLISH_INERT(TMainForm, FormDestroy),
    HV_PUBLISH_INERT(TMainForm, FormPaint),
    HV_PUBLISH_INERT(TMainForm, FormKeyDown),
    HV_PUBLISH_INERT(TMainForm, FormKeyUp),
    HV_PUBLISH_INERT(TMainForm, FormKeyPress),
    HV_PUBLISH_INERT(TMainForm, FormMouseDown),
    HV_PUBLISH_INERT(TMainForm, FormMouseUp),
    HV_PUBLISH_INERT(TMainForm, FormMouseMove),
    HV_PUBLISH_INERT(TMainForm, FormMouseWheel),
    HV_PUBLISH_INERT(TMainForm, ParseParametersFromConfig),
    HV_PUBLISH_INERT(TMainForm, ParseParametersFromParamStr),
    HV_PUBLISH_INERT(TMainForm, CreateResources_Testing),
    HV_PUBLISH_INERT(TMainForm, Draw),
    HV_PUBLISH_INERT(TMainForm, AppIdle),
    HV_PUBLISH_INERT(TMainForm, LowBitsInHistory),
    HV_PUBLISH_INERT(TMainForm, SaveGameBeforeGame),
    HV_PUBLISH_INERT(TMainForm, OpenUrl),
    HV_PUBLISH_INERT(TMainForm, WOptions_OK_MouseUp_fromCode))
// clang-format on

}  // namespace hv
