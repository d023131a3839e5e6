#include "viewer/view_layout.h"

#include <QRect>
#include <QWidget>
#include <algorithm>

#include "viewer/fly_image.h"
#include "viewer/scroll_box.h"
#include "viewer/view_geometry.h"

namespace nocturo {

double ApplyViewLayout(ScrollBox& box, tFlyImage& image, bool stretch, int position) {
    if (box.Child() != &image) {
        box.SetChild(&image);
    }
    // Scroll bars first: the stretch arithmetic uses the box's outer size,
    // which they do not change, and turning them off scrolls back to the origin.
    box.SetAutoScroll(!stretch);
    const RgbImage& picture = image.Picture();
    const ViewGeometry g = ComputeViewGeometry(stretch, picture.Width(), picture.Height(),
                                               box.width(), box.height(), position);
    const int width = std::min(g.width, QWIDGETSIZE_MAX);
    const int height = std::min(g.height, QWIDGETSIZE_MAX);
    box.PlaceChild(QRect(g.left, g.top, width, height));
    return g.zoom;
}

}  // namespace nocturo
