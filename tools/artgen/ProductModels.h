// Simple solid models of the product types, in device axes: X forward (lens), Y left, Z up (handle).
#pragma once

#include "Mesh.h"

#include <QString>

namespace ProductModels {

// The model drawn for a picture set ("2-axis", "3-axis", "birch", ..., "phone"); empty if unknown.
Mesh model(const QString &set);

} // namespace ProductModels
