// SPDX-License-Identifier: GPL-3.0-or-later
// Colour values as the panel names them: 0x00BBGGRR for fixed RGB colours,
// 0x80000000 | index for system colours. The system colours map once, here,
// to fixed values of the classic desktop scheme so that every window and
// every pixel test sees the same picture whatever the desktop theme.
#pragma once

#include <QColor>

#include <cstdint>

using TColor = std::uint32_t;

constexpr TColor RGBColor(int r, int g, int b) {
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clScrollBar = clSystemColor | 0x00;
constexpr TColor clBackground = clSystemColor | 0x01;
constexpr TColor clActiveCaption = clSystemColor | 0x02;
constexpr TColor clInactiveCaption = clSystemColor | 0x03;
constexpr TColor clMenu = clSystemColor | 0x04;
constexpr TColor clWindow = clSystemColor | 0x05;
constexpr TColor clWindowFrame = clSystemColor | 0x06;
constexpr TColor clMenuText = clSystemColor | 0x07;
constexpr TColor clWindowText = clSystemColor | 0x08;
constexpr TColor clCaptionText = clSystemColor | 0x09;
constexpr TColor clActiveBorder = clSystemColor | 0x0A;
constexpr TColor clInactiveBorder = clSystemColor | 0x0B;
constexpr TColor clAppWorkSpace = clSystemColor | 0x0C;
constexpr TColor clHighlight = clSystemColor | 0x0D;
constexpr TColor clHighlightText = clSystemColor | 0x0E;
constexpr TColor clBtnFace = clSystemColor | 0x0F;
constexpr TColor clBtnShadow = clSystemColor | 0x10;
constexpr TColor clGrayText = clSystemColor | 0x11;
constexpr TColor clBtnText = clSystemColor | 0x12;
constexpr TColor clInactiveCaptionText = clSystemColor | 0x13;
constexpr TColor clBtnHighlight = clSystemColor | 0x14;
constexpr TColor cl3DDkShadow = clSystemColor | 0x15;
constexpr TColor cl3DLight = clSystemColor | 0x16;
constexpr TColor clInfoText = clSystemColor | 0x17;
constexpr TColor clInfoBk = clSystemColor | 0x18;

// Light green and alert pink recur across the windows.
constexpr TColor clLightGreen = 12317385; // RGB 201, 242, 187
constexpr TColor clAlertPink = 9728760;   // RGB 248, 114, 148

// The RGB value a colour stands for, with system colours resolved.
constexpr TColor ColorToRGB(TColor c) {
    if ((c & clSystemColor) == 0)
        return c & 0xFFFFFF;
    switch (c & 0xFF) {
    case 0x00:
        return RGBColor(200, 200, 200); // scroll bar
    case 0x01:
        return RGBColor(0, 0, 0); // desktop
    case 0x02:
        return RGBColor(153, 180, 209); // active caption
    case 0x03:
        return RGBColor(191, 205, 219); // inactive caption
    case 0x04:
        return RGBColor(240, 240, 240); // menu
    case 0x05:
        return RGBColor(255, 255, 255); // window
    case 0x06:
        return RGBColor(100, 100, 100); // window frame
    case 0x07:
        return RGBColor(0, 0, 0); // menu text
    case 0x08:
        return RGBColor(0, 0, 0); // window text
    case 0x09:
        return RGBColor(0, 0, 0); // caption text
    case 0x0A:
        return RGBColor(180, 180, 180); // active border
    case 0x0B:
        return RGBColor(244, 247, 252); // inactive border
    case 0x0C:
        return RGBColor(171, 171, 171); // app workspace
    case 0x0D:
        return RGBColor(0, 120, 215); // highlight
    case 0x0E:
        return RGBColor(255, 255, 255); // highlight text
    case 0x0F:
        return RGBColor(240, 240, 240); // button face
    case 0x10:
        return RGBColor(160, 160, 160); // button shadow
    case 0x11:
        return RGBColor(109, 109, 109); // grey text
    case 0x12:
        return RGBColor(0, 0, 0); // button text
    case 0x13:
        return RGBColor(0, 0, 0); // inactive caption text
    case 0x14:
        return RGBColor(255, 255, 255); // button highlight
    case 0x15:
        return RGBColor(105, 105, 105); // 3D dark shadow
    case 0x16:
        return RGBColor(227, 227, 227); // 3D light
    case 0x17:
        return RGBColor(0, 0, 0); // tooltip text
    case 0x18:
        return RGBColor(255, 255, 225); // tooltip background
    default:
        return RGBColor(0, 0, 0);
    }
}

inline QColor ToQColor(TColor c) {
    const TColor rgb = ColorToRGB(c);
    return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}
