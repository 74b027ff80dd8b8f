// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "mlt/pre_roll_source.h"

#include <framework/mlt.h>

#include <cstring>

PreRollSource::~PreRollSource()
{
    if (producer_ != nullptr) mlt_producer_close(producer_);
}

bool PreRollSource::openFor(mlt_profile profile, mlt_frame frame)
{
    mlt_producer original = mlt_frame_get_original_producer(frame);
    if (original == nullptr) return false;
    original = mlt_producer_cut_parent(original);
    const char* resource = mlt_properties_get(MLT_PRODUCER_PROPERTIES(original), "resource");
    if (resource == nullptr || *resource == '\0') return false;
    if (producer_ != nullptr && resource_ == resource) return true;
    if (producer_ != nullptr) mlt_producer_close(producer_);
    resource_ = resource;
    producer_ = mlt_factory_producer(profile, nullptr, resource);
    return producer_ != nullptr;
}

namespace
{

// What a consumer sets on each frame that decides how its image is scaled, deinterlaced
// and converted: the fetched frame gets the same, so its picture is the one the clip
// would have given at that position.
void copyConsumerProperties(mlt_frame from, mlt_frame to)
{
    mlt_properties source = MLT_FRAME_PROPERTIES(from);
    mlt_properties target = MLT_FRAME_PROPERTIES(to);
    const int count = mlt_properties_count(source);
    for (int i = 0; i < count; ++i) {
        const char* name = mlt_properties_get_name(source, i);
        if (name == nullptr) continue;
        if (std::strncmp(name, "consumer", 8) == 0 || std::strcmp(name, "rescale.interp") == 0 ||
            std::strcmp(name, "deinterlace_method") == 0)
            mlt_properties_set(target, name, mlt_properties_get_value(source, i));
    }
}

}  // namespace

mlt_frame PreRollSource::fetch(int64_t position, mlt_frame like, mlt_image_format format, int width,
                               int height, uint8_t** image)
{
    if (producer_ == nullptr) return nullptr;
    mlt_producer_seek(producer_, static_cast<mlt_position>(position));
    mlt_frame frame = nullptr;
    if (mlt_service_get_frame(MLT_PRODUCER_SERVICE(producer_), &frame, 0) != 0 || frame == nullptr)
        return nullptr;
    copyConsumerProperties(like, frame);
    mlt_image_format got = format;
    int w = width, h = height;
    if (mlt_frame_get_image(frame, image, &got, &w, &h, 1) != 0 || *image == nullptr ||
        got != format || w != width || h != height) {
        mlt_frame_close(frame);
        return nullptr;
    }
    return frame;
}
