// Draws the link and result pictures: plug joined or apart, check mark or cross in a circle.
#pragma once

#include "Drawing.h"

namespace StatusPictures {

Drawing connect();    // plug seated in its socket, cables on both sides
Drawing disconnect(); // plug pulled out of the socket, a slash across the gap
Drawing success();    // check mark in a circle
Drawing fail();       // cross in a circle

} // namespace StatusPictures
