// Target size and resampling dispatch. (Resizing is not available yet: every request fails.)
#include "resample/resize.h"

std::int32_t resizeImage(RgbImage* dest, std::int32_t /*width*/, std::int32_t /*height*/,
                         const RgbImage* source, std::int32_t /*exactSize*/) {
    if (source->status != 0) {
        dest->status = statusResizeBadSource;
        return statusResizeBadSource;
    }
    dest->status = statusResizeBadSize;
    return statusResizeBadSize;
}
