// Pictures of the lowest bits of a picture's colour samples, the way a
// hiding tool is checked: in a clean photograph they look like noise, while
// bits a plain hide wrote lie in one block from the first samples on.
#pragma once

#include "picture/picture.h"

namespace glint {

struct DrawnPlanes {
    Picture picture;  // 8-bit samples, no alpha; meaningful only without a problem
    PictureProblem problem = PictureProblem::None;  // TooManyPixels or OutOfMemory
};

// A colour picture's planes as a grid of four panels of its size: the
// lowest bits of red (top left), green (top right) and blue (bottom left)
// white where the bit is 1 and black where it is 0, and the three together
// in colour (bottom right), each channel full where its bit is 1. A grey
// picture's plane is one grey panel.
DrawnPlanes drawPlanes(const Picture& picture);

// Three panels side by side: the cover's lowest bits in colour, the stego
// picture's, and their difference, each channel 128 times the difference
// of its samples (at most 255), so that a change of one shows at half
// strength and more at full. Both pictures have the same size; a grey
// picture is compared as equal red, green and blue, and 16-bit samples as
// 8-bit ones when the other picture's are 8-bit. Grey when both are grey.
DrawnPlanes drawComparison(const Picture& cover, const Picture& stego);

}  // namespace glint
