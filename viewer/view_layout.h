#pragma once
// Placing the picture control in its scroll box: the view's layout, as the main
// window runs it after showing a list entry, on resizes and on zoom changes.

namespace nocturo {

class ScrollBox;
class tFlyImage;

/// Lays out the view: automatic scroll bars on in zoom mode and off in stretch
/// mode, then the control's place and size from its picture's size, the box's
/// outer size (frame included) and, in zoom mode, the track position (1..1000
/// is percent). Makes image the box's child if it is not yet. Returns the zoom
/// factor, the scale the pointer mapping uses until the next layout.
/// A control larger than Qt allows (QWIDGETSIZE_MAX) is cut to that size.
double ApplyViewLayout(ScrollBox& box, tFlyImage& image, bool stretch, int position);

}  // namespace nocturo
