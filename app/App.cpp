#include "app/App.h"

#include "log/KavLogEngine.h"
#include "main/InputMapping.h"
#include "platform/bass/bass.h"

namespace hv {

TMainForm* MainFormInstance = nullptr;

CD3DGame::CD3DGame() : CD3DApplication(nullptr) {
    form_ = new TMainForm(this);
    MainFormInstance = form_;
    MainForm = this;
    m_bWindowed = false;
    m_bCursorInFullScreen = false;
    m_bConfineCursor = false;
}

HRESULT CD3DGame::RenderFrame() {
    form_->AppIdle();
    return S_OK;
}

LRESULT CD3DGame::HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    RouteInput(msg, wParam, lParam);
    return CD3DApplication::HandleMessage(wnd, msg, wParam, lParam);
}

void CD3DGame::RouteInput(UINT msg, WPARAM wParam, LPARAM lParam) {
    using B = TMainForm::TMouseButton;
    // The position is the low and high 16 bits of lParam, signed: a drag that leaves the window
    // to the left or above gives negative positions, which the mapping holds at the play
    // area's edge (read unsigned they would land at the far side).
    const int32_t x = GET_X_LPARAM(lParam);
    const int32_t y = GET_Y_LPARAM(lParam);
    switch (msg) {
        case WM_MOUSEMOVE:
            form_->FormMouseMove(x, y);
            break;
        case WM_LBUTTONDOWN:
            form_->FormMouseDown(B::Left, x, y);
            break;
        case WM_LBUTTONUP:
            form_->FormMouseUp(B::Left, x, y);
            break;
        case WM_RBUTTONDOWN:
            form_->FormMouseDown(B::Right, x, y);
            break;
        case WM_RBUTTONUP:
            form_->FormMouseUp(B::Right, x, y);
            break;
        case WM_MBUTTONDOWN:
            form_->FormMouseDown(B::Middle, x, y);
            break;
        case WM_MBUTTONUP:
            form_->FormMouseUp(B::Middle, x, y);
            break;
        case WM_KEYDOWN:
            if (IsScriptVirtualKey(uint32_t(wParam))) form_->FormKeyDown(int32_t(wParam), 0);
            break;
        case WM_CHAR: {
            // The character arrives as its code point already. The script gets characters as
            // 16-bit values, so one beyond that range would reach it as an unrelated character
            // (U+10071 as "q"); it arrives as "?", as a character outside the code page does.
            const uint32_t code = wParam > 0xFFFF ? uint32_t('?') : uint32_t(wParam);
            if (!IsScriptVirtualKey(code)) form_->FormKeyDown(0, int32_t(code));
            break;
        }
        case WM_SYSKEYDOWN:
            if (wParam == 13) form_->WOptions_OK_MouseUp_fromCode();
            break;
        default:
            break;
    }
}

HRESULT CD3DGame::Create_(HINSTANCE instance, int32_t configWidth, int32_t configHeight) {
    // The script's random numbers stay the interpreter's own: nothing is seeded here.
    m_pszTitle = "Halvardine";
    return CD3DApplication::Create_(instance, configWidth, configHeight);
}

void CD3DGame::ShowSystemCursor(bool show) {
    ShowCursor(show);
}

void CD3DGame::PauseSound() {
    BASS_Pause();
}
void CD3DGame::StartSound() {
    BASS_Start();
}

}  // namespace hv
