// SPDX-License-Identifier: MIT
// Console key numbers by physical key, as a PC keyboard sends them whatever the desktop's
// layout: the window's keys become the bytes the console would give.
#pragma once

#include <SDL.h>

#include <cstdint>

namespace sdl {

struct KeyNumber {
    SDL_Scancode scancode;
    std::uint8_t number;
};

// clang-format off
constexpr KeyNumber kKeyNumbers[] = {
    {SDL_SCANCODE_ESCAPE, 1},        {SDL_SCANCODE_1, 2},           {SDL_SCANCODE_2, 3},
    {SDL_SCANCODE_3, 4},             {SDL_SCANCODE_4, 5},           {SDL_SCANCODE_5, 6},
    {SDL_SCANCODE_6, 7},             {SDL_SCANCODE_7, 8},           {SDL_SCANCODE_8, 9},
    {SDL_SCANCODE_9, 10},            {SDL_SCANCODE_0, 11},          {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13},       {SDL_SCANCODE_BACKSPACE, 14},  {SDL_SCANCODE_TAB, 15},
    {SDL_SCANCODE_Q, 16},            {SDL_SCANCODE_W, 17},          {SDL_SCANCODE_E, 18},
    {SDL_SCANCODE_R, 19},            {SDL_SCANCODE_T, 20},          {SDL_SCANCODE_Y, 21},
    {SDL_SCANCODE_U, 22},            {SDL_SCANCODE_I, 23},          {SDL_SCANCODE_O, 24},
    {SDL_SCANCODE_P, 25},            {SDL_SCANCODE_LEFTBRACKET, 26}, {SDL_SCANCODE_RIGHTBRACKET, 27},
    {SDL_SCANCODE_RETURN, 28},       {SDL_SCANCODE_LCTRL, 29},      {SDL_SCANCODE_A, 30},
    {SDL_SCANCODE_S, 31},            {SDL_SCANCODE_D, 32},          {SDL_SCANCODE_F, 33},
    {SDL_SCANCODE_G, 34},            {SDL_SCANCODE_H, 35},          {SDL_SCANCODE_J, 36},
    {SDL_SCANCODE_K, 37},            {SDL_SCANCODE_L, 38},          {SDL_SCANCODE_SEMICOLON, 39},
    {SDL_SCANCODE_APOSTROPHE, 40},   {SDL_SCANCODE_GRAVE, 41},      {SDL_SCANCODE_LSHIFT, 42},
    {SDL_SCANCODE_BACKSLASH, 43},    {SDL_SCANCODE_NONUSHASH, 43},  {SDL_SCANCODE_Z, 44},
    {SDL_SCANCODE_X, 45},            {SDL_SCANCODE_C, 46},          {SDL_SCANCODE_V, 47},
    {SDL_SCANCODE_B, 48},            {SDL_SCANCODE_N, 49},          {SDL_SCANCODE_M, 50},
    {SDL_SCANCODE_COMMA, 51},        {SDL_SCANCODE_PERIOD, 52},     {SDL_SCANCODE_SLASH, 53},
    {SDL_SCANCODE_RSHIFT, 54},       {SDL_SCANCODE_KP_MULTIPLY, 55}, {SDL_SCANCODE_LALT, 56},
    {SDL_SCANCODE_SPACE, 57},        {SDL_SCANCODE_CAPSLOCK, 58},   {SDL_SCANCODE_F1, 59},
    {SDL_SCANCODE_F2, 60},           {SDL_SCANCODE_F3, 61},         {SDL_SCANCODE_F4, 62},
    {SDL_SCANCODE_F5, 63},           {SDL_SCANCODE_F6, 64},         {SDL_SCANCODE_F7, 65},
    {SDL_SCANCODE_F8, 66},           {SDL_SCANCODE_F9, 67},         {SDL_SCANCODE_F10, 68},
    {SDL_SCANCODE_NUMLOCKCLEAR, 69}, {SDL_SCANCODE_SCROLLLOCK, 70}, {SDL_SCANCODE_KP_7, 71},
    {SDL_SCANCODE_KP_8, 72},         {SDL_SCANCODE_KP_9, 73},       {SDL_SCANCODE_KP_MINUS, 74},
    {SDL_SCANCODE_KP_4, 75},         {SDL_SCANCODE_KP_5, 76},       {SDL_SCANCODE_KP_6, 77},
    {SDL_SCANCODE_KP_PLUS, 78},      {SDL_SCANCODE_KP_1, 79},       {SDL_SCANCODE_KP_2, 80},
    {SDL_SCANCODE_KP_3, 81},         {SDL_SCANCODE_KP_0, 82},       {SDL_SCANCODE_KP_PERIOD, 83},
    {SDL_SCANCODE_MODE, 85},         {SDL_SCANCODE_NONUSBACKSLASH, 86}, {SDL_SCANCODE_F11, 87},
    {SDL_SCANCODE_F12, 88},          {SDL_SCANCODE_INTERNATIONAL1, 89}, {SDL_SCANCODE_LANG3, 90},
    {SDL_SCANCODE_LANG4, 91},        {SDL_SCANCODE_INTERNATIONAL4, 92}, {SDL_SCANCODE_INTERNATIONAL2, 93},
    {SDL_SCANCODE_INTERNATIONAL5, 94}, {SDL_SCANCODE_KP_ENTER, 96}, {SDL_SCANCODE_RCTRL, 97},
    {SDL_SCANCODE_KP_DIVIDE, 98},    {SDL_SCANCODE_PRINTSCREEN, 99}, {SDL_SCANCODE_RALT, 100},
    {SDL_SCANCODE_HOME, 102},        {SDL_SCANCODE_UP, 103},        {SDL_SCANCODE_PAGEUP, 104},
    {SDL_SCANCODE_LEFT, 105},        {SDL_SCANCODE_RIGHT, 106},     {SDL_SCANCODE_END, 107},
    {SDL_SCANCODE_DOWN, 108},        {SDL_SCANCODE_PAGEDOWN, 109},  {SDL_SCANCODE_INSERT, 110},
    {SDL_SCANCODE_DELETE, 111},      {SDL_SCANCODE_MUTE, 113},      {SDL_SCANCODE_VOLUMEDOWN, 114},
    {SDL_SCANCODE_VOLUMEUP, 115},    {SDL_SCANCODE_POWER, 116},     {SDL_SCANCODE_KP_EQUALS, 117},
    {SDL_SCANCODE_KP_PLUSMINUS, 118}, {SDL_SCANCODE_PAUSE, 119},    {SDL_SCANCODE_LANG1, 122},
    {SDL_SCANCODE_LANG2, 123},       {SDL_SCANCODE_INTERNATIONAL3, 124}, {SDL_SCANCODE_LGUI, 125},
    {SDL_SCANCODE_RGUI, 126},        {SDL_SCANCODE_APPLICATION, 127},
};
// clang-format on

// The console number of a physical key, 0 for a key the console has no number for.
constexpr int key_number(SDL_Scancode scancode) {
    for (const KeyNumber& k : kKeyNumbers)
        if (k.scancode == scancode) return k.number;
    return 0;
}

}  // namespace sdl
