#include "platform/win32/keys.h"

namespace hv {

UINT VirtualKeyFromSdl(SDL_Keycode key, SDL_Scancode scancode) {
    if (key >= SDLK_a && key <= SDLK_z) return UINT('A' + (key - SDLK_a));
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return UINT('A' + (scancode - SDL_SCANCODE_A));
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return UINT('1' + (scancode - SDL_SCANCODE_1));
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
        return VK_F1 + UINT(scancode - SDL_SCANCODE_F1);
    if (scancode >= SDL_SCANCODE_F13 && scancode <= SDL_SCANCODE_F24)
        return VK_F1 + 12 + UINT(scancode - SDL_SCANCODE_F13);
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9)
        return VK_NUMPAD0 + 1 + UINT(scancode - SDL_SCANCODE_KP_1);
    switch (scancode) {
        case SDL_SCANCODE_0:
            return '0';
        case SDL_SCANCODE_BACKSPACE:
            return VK_BACK;
        case SDL_SCANCODE_TAB:
            return VK_TAB;
        case SDL_SCANCODE_RETURN:
        case SDL_SCANCODE_RETURN2:
        case SDL_SCANCODE_KP_ENTER:
            return VK_RETURN;
        case SDL_SCANCODE_ESCAPE:
            return VK_ESCAPE;
        case SDL_SCANCODE_SPACE:
            return VK_SPACE;
        case SDL_SCANCODE_PAGEUP:
            return VK_PRIOR;
        case SDL_SCANCODE_PAGEDOWN:
            return VK_NEXT;
        case SDL_SCANCODE_END:
            return VK_END;
        case SDL_SCANCODE_HOME:
            return VK_HOME;
        case SDL_SCANCODE_LEFT:
            return VK_LEFT;
        case SDL_SCANCODE_UP:
            return VK_UP;
        case SDL_SCANCODE_RIGHT:
            return VK_RIGHT;
        case SDL_SCANCODE_DOWN:
            return VK_DOWN;
        case SDL_SCANCODE_PRINTSCREEN:
            return VK_SNAPSHOT;
        case SDL_SCANCODE_INSERT:
            return VK_INSERT;
        case SDL_SCANCODE_DELETE:
            return VK_DELETE;
        case SDL_SCANCODE_PAUSE:
            return VK_PAUSE;
        case SDL_SCANCODE_CAPSLOCK:
            return VK_CAPITAL;
        case SDL_SCANCODE_NUMLOCKCLEAR:
            return VK_NUMLOCK;
        case SDL_SCANCODE_SCROLLLOCK:
            return VK_SCROLL;
        case SDL_SCANCODE_LSHIFT:
        case SDL_SCANCODE_RSHIFT:
            return VK_SHIFT;
        case SDL_SCANCODE_LCTRL:
        case SDL_SCANCODE_RCTRL:
            return VK_CONTROL;
        case SDL_SCANCODE_LALT:
        case SDL_SCANCODE_RALT:
            return VK_MENU;
        case SDL_SCANCODE_LGUI:
            return VK_LWIN;
        case SDL_SCANCODE_RGUI:
            return VK_RWIN;
        case SDL_SCANCODE_APPLICATION:
            return VK_APPS;
        case SDL_SCANCODE_KP_0:
            return VK_NUMPAD0;
        case SDL_SCANCODE_KP_MULTIPLY:
            return VK_MULTIPLY;
        case SDL_SCANCODE_KP_PLUS:
            return VK_ADD;
        case SDL_SCANCODE_KP_COMMA:
            return VK_SEPARATOR;
        case SDL_SCANCODE_KP_MINUS:
            return VK_SUBTRACT;
        case SDL_SCANCODE_KP_PERIOD:
            return VK_DECIMAL;
        case SDL_SCANCODE_KP_DIVIDE:
            return VK_DIVIDE;
        case SDL_SCANCODE_SEMICOLON:
            return VK_OEM_1;
        case SDL_SCANCODE_EQUALS:
            return VK_OEM_PLUS;
        case SDL_SCANCODE_COMMA:
            return VK_OEM_COMMA;
        case SDL_SCANCODE_MINUS:
            return VK_OEM_MINUS;
        case SDL_SCANCODE_PERIOD:
            return VK_OEM_PERIOD;
        case SDL_SCANCODE_SLASH:
            return VK_OEM_2;
        case SDL_SCANCODE_GRAVE:
            return VK_OEM_3;
        case SDL_SCANCODE_LEFTBRACKET:
            return VK_OEM_4;
        case SDL_SCANCODE_BACKSLASH:
            return VK_OEM_5;
        case SDL_SCANCODE_RIGHTBRACKET:
            return VK_OEM_6;
        case SDL_SCANCODE_APOSTROPHE:
            return VK_OEM_7;
        case SDL_SCANCODE_NONUSBACKSLASH:
            return VK_OEM_102;
        default:
            return 0;
    }
}

bool IsExtendedKey(SDL_Scancode scancode) {
    switch (scancode) {
        case SDL_SCANCODE_INSERT:
        case SDL_SCANCODE_DELETE:
        case SDL_SCANCODE_HOME:
        case SDL_SCANCODE_END:
        case SDL_SCANCODE_PAGEUP:
        case SDL_SCANCODE_PAGEDOWN:
        case SDL_SCANCODE_LEFT:
        case SDL_SCANCODE_RIGHT:
        case SDL_SCANCODE_UP:
        case SDL_SCANCODE_DOWN:
        case SDL_SCANCODE_RCTRL:
        case SDL_SCANCODE_RALT:
        case SDL_SCANCODE_KP_ENTER:
        case SDL_SCANCODE_KP_DIVIDE:
        case SDL_SCANCODE_NUMLOCKCLEAR:
        case SDL_SCANCODE_PRINTSCREEN:
        case SDL_SCANCODE_LGUI:
        case SDL_SCANCODE_RGUI:
        case SDL_SCANCODE_APPLICATION:
            return true;
        default:
            return false;
    }
}

int ControlCharFor(UINT virtualKey, bool ctrl, bool alt) {
    if (ctrl && alt) return -1;
    switch (virtualKey) {
        case VK_BACK:
            return ctrl ? 127 : 8;
        case VK_TAB:
            return (ctrl || alt) ? -1 : 9;
        case VK_RETURN:
            return ctrl ? 10 : 13;
        case VK_ESCAPE:
            return 27;
        default:
            break;
    }
    if (ctrl && virtualKey >= 'A' && virtualKey <= 'Z') return int(virtualKey - 'A' + 1);
    return -1;
}

}  // namespace hv
