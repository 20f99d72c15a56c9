// Plain records of the colorimetric results.
#pragma once

namespace orvanalysis {

// A point of the CIE 1931 (x, y) chromaticity diagram.
struct ChromaticityPoint {
    double x = 0.0;
    double y = 0.0;
};

}  // namespace orvanalysis

namespace orvanalysis::colorimetry {

// CIE tristimulus values.
struct CIEXYZ {
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
};

// CIE 1976 L*a*b* coordinates: lightness L* and the colour-opponent a* and b*.
struct CIELAB {
    double L_star = 0.0;
    double a_star = 0.0;
    double b_star = 0.0;
};

// One result per traffic-signal colour.
struct RYG {
    double red = 0.0;
    double yellow = 0.0;
    double green = 0.0;
};

struct RYGB {
    double red = 0.0;
    double yellow = 0.0;
    double green = 0.0;
    double blue = 0.0;
};

}  // namespace orvanalysis::colorimetry
