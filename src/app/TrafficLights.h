#pragma once
// The queue-state pictures of the status bar: a horizontal traffic light of
// three lamps (red, amber, green from left to right) in a dark housing.

#include "app/richtext/ImageList.h"

namespace app {

enum TrafficLight : int {
    LightsOff = 0,   // all lamps unlit
    LightGreen = 1,  // right lamp lit: running
    LightAmber = 2,  // middle lamp lit: stopping or aborting
    LightRed = 3,    // left lamp lit: stopped
};

constexpr int kTrafficLightWidth = 32;
constexpr int kTrafficLightHeight = 15;

// The four pictures, indexed by TrafficLight, each 32 x 15 with a transparent
// background around the housing.
TImageList MakeTrafficLightsHorizontal();

// Lamp centres in picture coordinates, left to right, for tests and callers
// that want to point at a lamp.
QPointF TrafficLampCentre(int lamp);

}  // namespace app
