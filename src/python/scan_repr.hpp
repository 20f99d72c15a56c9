// The Python representation of a scan, "Scan(400→420[5])", for other classes' reprs too.
#pragma once

#include "core/scan.hpp"

#include <string>

namespace orvpy {

std::string scan_repr(const orvanalysis::Scan& s);

}  // namespace orvpy
