// Where the window places its labels, check boxes, arrows and overlays on the diagram pictures,
// in the pictures' own pixels (PictureCanvas::placeChild maps them to the widget).
//
// Label rectangles hold one line every kLabelLine pixels from their top; a rectangle that also
// holds reset buttons keeps kResetButton pixels free at the right end of the lines that have one.
// The pictures leave these rectangles plain background, so any text there reads clearly.
#pragma once

#include <QRectF>
#include <QRgb>

inline constexpr qreal kLabelLine = 18;

// The device's display (the light panel of the box) and the ink of the readings on it: the
// picture's own colours, kept whatever the desktop's palette.
inline constexpr QRgb kDisplayFace = 0xFFF5F7F8;
inline constexpr QRgb kDisplayInk = 0xFF263238;
inline constexpr qreal kResetButton = 16;

// charger.svg, 580 x 320: solar panel left, device box in the middle, battery below, bulb right.
inline constexpr QRectF kChargerSize{0, 0, 580, 320};
// I, U, P, E; a reset button after the E line.
inline constexpr QRectF kChargerSolarLabels{14, 112, 172, 4 * kLabelLine};
// I, U, P, E(заряд), E(разряд); reset buttons after the two energy lines.
inline constexpr QRectF kChargerBatteryLabels{14, 216, 200, 5 * kLabelLine};
// I, U, P, E; a reset button after the E line.
inline constexpr QRectF kChargerLoadLabels{352, 112, 122, 4 * kLabelLine};
// "Выключить" and "Выкл. днём", one under the other.
inline constexpr QRectF kChargerLoadCheckBoxes{352, 192, 122, 44};
// Umcu, t, Ton on the light panel of the device box.
inline constexpr QRectF kChargerDeviceLabels{212, 46, 118, 3 * kLabelLine};
// Beside the solar and load wires, pointing right; beside the battery wire (down: charging,
// up: discharging, both in the same place).
inline constexpr QRectF kChargerSolarArrow{133, 78, 50, 15};
inline constexpr QRectF kChargerLoadArrow{382, 78, 50, 15};
inline constexpr QRectF kChargerBatteryArrow{282, 164, 15, 50};
// charger_bulb_lit.svg laid here covers the unlit bulb and its wire exactly.
inline constexpr QRectF kChargerBulbOverlay{474, 0, 106, 320};

// supply.svg, 318 x 317: bench supply top left feeding the device box below, bulb right.
inline constexpr QRectF kSupplySize{0, 0, 318, 317};
// I, U, P of the bench supply.
inline constexpr QRectF kSupplySourceLabels{60, 104, 128, 3 * kLabelLine};
// t, Ton on the light panel of the device box.
inline constexpr QRectF kSupplyBoardLabels{30, 214, 120, 2 * kLabelLine};
// supply_lamp_lit.svg laid here covers the unlit bulb and its wire exactly.
inline constexpr QRectF kSupplyLampOverlay{190, 0, 128, 317};
