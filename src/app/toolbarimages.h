#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

// The toolbar's ten 45 x 16 images, drawn in code so that a high-DPI screen gets them drawn at
// its own scale rather than blown up.
constexpr int kToolbarImageWidth = 45;
constexpr int kToolbarImageHeight = 16;
constexpr int kToolbarImageCount = 10;

// The strip of all ten images, 450 x 16 logical pixels at the given device pixel ratio.
QPixmap DrawToolbarStrip(qreal devicePixelRatio);

// The ten images in strip order, each at 1x and 2x and at any other ratio a screen has.
QList<QIcon> ToolbarIcons();
