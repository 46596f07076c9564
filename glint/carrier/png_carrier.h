// A decoded picture carried as a PNG: the designed layout over its colour
// samples (Picture::plane: rows top-down, each pixel's red, green and blue,
// or its grey, never alpha; a 16-bit sample carries in its lowest bit), and
// saved as a PNG of the picture's own kind with its colour chunks.
#pragma once

#include "carrier/carrier.h"
#include "picture/picture.h"

namespace glint {

class PngCarrier : public Carrier {
public:
    // The picture must already be of a kind encodePng writes as it is
    // (preparePngKind), so that the samples carried are the samples saved.
    explicit PngCarrier(Picture picture);

    using Carrier::save;
    Failure save(const Writer& write) override;

    // The colour samples, and the IHDR fields of the PNG written: width and
    // height (big-endian), bit depth, colour type and the three methods.
    PixelSamples pixelSamples() const override;

    const Picture& picture() const { return picture_; }

protected:
    SamplePlane layoutPlane() const override { return picture_.plane(); }

private:
    Picture picture_;
};

}  // namespace glint
