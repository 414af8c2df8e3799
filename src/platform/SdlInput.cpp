#include "platform/SdlInput.h"

#include <SDL.h>

#include <utility>

#include "platform/SdlWindow.h"

namespace qm {

namespace {

// SDL scan codes (USB usage ids) of the main keyboard block and the PC scan
// codes the frame's key table is written in.
constexpr std::pair<SDL_Scancode, std::uint8_t> kScanCodes[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},      {SDL_SCANCODE_1, 0x02},           {SDL_SCANCODE_2, 0x03},
    {SDL_SCANCODE_3, 0x04},           {SDL_SCANCODE_4, 0x05},           {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},           {SDL_SCANCODE_7, 0x08},           {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A},           {SDL_SCANCODE_0, 0x0B},           {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},      {SDL_SCANCODE_BACKSPACE, 0x0E},   {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10},           {SDL_SCANCODE_W, 0x11},           {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},           {SDL_SCANCODE_T, 0x14},           {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16},           {SDL_SCANCODE_I, 0x17},           {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},           {SDL_SCANCODE_LEFTBRACKET, 0x1A}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_RETURN, 0x1C},      {SDL_SCANCODE_LCTRL, 0x1D},       {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},           {SDL_SCANCODE_D, 0x20},           {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22},           {SDL_SCANCODE_H, 0x23},           {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},           {SDL_SCANCODE_L, 0x26},           {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x28},  {SDL_SCANCODE_GRAVE, 0x29},       {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},   {SDL_SCANCODE_Z, 0x2C},           {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_C, 0x2E},           {SDL_SCANCODE_V, 0x2F},           {SDL_SCANCODE_B, 0x30},
    {SDL_SCANCODE_N, 0x31},           {SDL_SCANCODE_M, 0x32},           {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},      {SDL_SCANCODE_SLASH, 0x35},       {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},        {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},    {SDL_SCANCODE_F1, 0x3B},          {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D},          {SDL_SCANCODE_F4, 0x3E},          {SDL_SCANCODE_F5, 0x3F},
    {SDL_SCANCODE_F6, 0x40},          {SDL_SCANCODE_F7, 0x41},          {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43},          {SDL_SCANCODE_F10, 0x44},         {SDL_SCANCODE_F11, 0x57},
    {SDL_SCANCODE_F12, 0x58},         {SDL_SCANCODE_KP_ENTER, 0x9C},    {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_RALT, 0xB8},        {SDL_SCANCODE_HOME, 0xC7},        {SDL_SCANCODE_UP, 0xC8},
    {SDL_SCANCODE_PAGEUP, 0xC9},      {SDL_SCANCODE_LEFT, 0xCB},        {SDL_SCANCODE_RIGHT, 0xCD},
    {SDL_SCANCODE_END, 0xCF},         {SDL_SCANCODE_DOWN, 0xD0},        {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2},      {SDL_SCANCODE_DELETE, 0xD3},
};

}  // namespace

std::unique_ptr<SdlInputDevices> SdlInputDevices::Create(const SdlWindow& window) {
    if (!SDL_WasInit(SDL_INIT_EVENTS) || !SDL_GetKeyboardState(nullptr)) return nullptr;
    return std::make_unique<SdlInputDevices>(window);
}

bool SdlInputDevices::ReadMouse(MouseState& state) {
    int dx = 0, dy = 0;
    const std::uint32_t buttons = SDL_GetRelativeMouseState(&dx, &dy);
    if (!window_.HasInputFocus()) return false;
    state = MouseState{};
    state.lX = dx;
    state.lY = dy;
    state.rgbButtons[0] = (buttons & SDL_BUTTON_LMASK) ? kKeyDown : 0;
    state.rgbButtons[1] = (buttons & SDL_BUTTON_RMASK) ? kKeyDown : 0;
    state.rgbButtons[2] = (buttons & SDL_BUTTON_MMASK) ? kKeyDown : 0;
    state.rgbButtons[3] = (buttons & SDL_BUTTON_X1MASK) ? kKeyDown : 0;
    return true;
}

bool SdlInputDevices::ReadKeyboard(KeyboardState& state) {
    if (!window_.HasInputFocus()) return false;
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    state.fill(0);
    for (const auto& [sdl, pc] : kScanCodes) {
        if (sdl < count && keys[sdl]) state[pc] = kKeyDown;
    }
    return true;
}

void SdlInputDevices::Acquire() { SDL_GetRelativeMouseState(nullptr, nullptr); }

}  // namespace qm
