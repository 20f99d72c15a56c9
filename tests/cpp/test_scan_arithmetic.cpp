#include "core/scan_arithmetic.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using orvanalysis::Scan;
using orvanalysis::spline::Type;
using orvanalysis::utils::binary_operation;
using orvanalysis::utils::transform;

namespace {

using Keys = std::vector<double>;

Scan make(Keys w, Keys v, Type type, double epsilon = Scan::Default_Wavelength_Epsilon) {
    return Scan(std::move(w), std::move(v), epsilon, type);
}

}  // namespace

TEST(BinaryOperationTwoScans, InterpolatedOperandsMeetOverTheirOverlap) {
    const Scan sum = make({400, 410}, {1, 2}, Type::LINEAR) + make({405, 415}, {10, 20}, Type::LINEAR);
    EXPECT_EQ(sum.wavelengths(), (Keys{405, 410}));
    EXPECT_EQ(sum.values(), (Keys{11.5, 17}));
    EXPECT_EQ(sum.interpolation(), Type::LINEAR);
    EXPECT_EQ(sum.epsilon(), 1e-20);
}

TEST(BinaryOperationTwoScans, TablesCombineAtCommonKeysIntoAnAkimaScan) {
    const Scan sum = make({400, 405, 410}, {1, 2, 3}, Type::NONE) + make({405, 410, 415}, {10, 20, 30}, Type::NONE);
    EXPECT_EQ(sum.wavelengths(), (Keys{405, 410}));
    EXPECT_EQ(sum.values(), (Keys{12, 23}));
    EXPECT_EQ(sum.interpolation(), Type::AKIMA);
}

TEST(BinaryOperationTwoScans, OneInterpolatedOperandLendsItsRangeToTheOther) {
    const Scan table = make({400, 420}, {1, 2}, Type::NONE);
    const Scan curve = make({405, 410, 415, 420, 425}, {10, 20, 30, 40, 50}, Type::AKIMA);
    const Scan sum = table + curve;
    EXPECT_EQ(sum.wavelengths(), (Keys{420}));
    EXPECT_EQ(sum.values(), (Keys{42}));
    EXPECT_EQ(sum.interpolation(), Type::AKIMA);
    EXPECT_EQ((curve * table).wavelengths(), (Keys{420}));
}

TEST(BinaryOperationTwoScans, DisjointRangesGiveAnEmptyScan) {
    const Scan a = make({400, 410}, {1, 2}, Type::LINEAR);
    const Scan b = make({420, 430}, {1, 2}, Type::NONE);
    EXPECT_TRUE((a * b).empty());
    EXPECT_TRUE((b * a).empty());
    EXPECT_TRUE((a * Scan()).empty());
}

TEST(BinaryOperationTwoScans, TablesLookUpEachKeyWithTheirOwnEpsilon) {
    const Scan a = make({400}, {1}, Type::NONE, 0.5);
    const Scan b = make({400.3}, {2}, Type::NONE);
    EXPECT_THROW((void)(a + b), std::out_of_range);
    const Scan sum = b + a;
    EXPECT_EQ(sum.wavelengths(), (Keys{400.3}));
    EXPECT_EQ(sum.values(), (Keys{3}));
    EXPECT_EQ(sum.epsilon(), 1e-20);
}

TEST(BinaryOperationTwoScans, KeysOfBWinOverEquivalentKeysOfA) {
    // e = 0.25. Keys of b inside [400, 408.25]: 401, 402.2, 403.9, 405. Keys of a with
    // k + 0.25 >= 401: 402, 404, 406, 408, of which 402 and 404 lie within 0.25 of a key of b.
    // Evaluating a (epsilon 0.5) at 402.2 and 403.9 hits its stored keys 402 and 404.
    const Scan a = make({400, 402, 404, 406, 408}, {0, 2, 4, 6, 8}, Type::LINEAR, 0.5);
    const Scan b = make({401, 402.2, 403.9, 405, 409}, {802, 804.4, 807.8, 810, 818}, Type::LINEAR, 0.25);
    const Scan sum = a + b;
    EXPECT_EQ(sum.wavelengths(), (Keys{401, 402.2, 403.9, 405, 406, 408}));
    const Keys expected{1 + 802, 2 + 804.4, 4 + 807.8, 5 + 810, 6 + 812, 8 + 816};
    ASSERT_EQ(sum.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_DOUBLE_EQ(sum.values()[i], expected[i]) << "at " << sum.wavelengths()[i];
    }
    EXPECT_EQ(sum.epsilon(), 0.25);
    EXPECT_EQ(sum.interpolation(), Type::LINEAR);
}

TEST(BinaryOperationTwoScans, ProductOfTwoInterpolatedLinesIsExactAtEveryKey) {
    // Natural cubic splines reproduce straight lines, so the product is (2k + 1)(k - 3).
    const Scan a = make({400, 405, 410, 415, 420}, {801, 811, 821, 831, 841}, Type::CUBIC);
    const Scan b = make({402, 406, 410, 414, 418}, {399, 403, 407, 411, 415}, Type::CUBIC);
    const Scan product = a * b;
    EXPECT_EQ(product.wavelengths(), (Keys{402, 405, 406, 410, 414, 415, 418}));
    for (const auto& [k, v] : product) {
        EXPECT_NEAR(v, (2 * k + 1) * (k - 3), 1e-9 * v) << "at " << k;
    }
    EXPECT_EQ(product.interpolation(), Type::CUBIC);
}

TEST(BinaryOperationTwoScans, ErrorsOfAnOperandPropagate) {
    const Scan four = make({400, 405, 410, 415}, {1, 2, 3, 4}, Type::AKIMA);
    const Scan other = make({402, 412}, {1, 1}, Type::LINEAR);
    EXPECT_EQ(message_of<std::runtime_error>([&] { (void)(four * other); }),
              "Cannot initialize a spline, too few points");
}

TEST(BinaryOperationScalar, KeepsKeysEpsilonAndKind) {
    const Scan s = make({400, 410}, {2, 4}, Type::CUBIC, 0.125);
    for (const Scan& r : {s + 1.0, s - 1.0, s * 3.0, s / 2.0, 10.0 - s, 8.0 / s, 3.0 * s, 1.0 + s, -s}) {
        EXPECT_EQ(r.wavelengths(), s.wavelengths());
        EXPECT_EQ(r.epsilon(), 0.125);
        EXPECT_EQ(r.interpolation(), Type::CUBIC);
    }
    EXPECT_EQ((s - 1.0).values(), (Keys{1, 3}));
    EXPECT_EQ((10.0 - s).values(), (Keys{8, 6}));
    EXPECT_EQ((8.0 / s).values(), (Keys{4, 2}));
    EXPECT_EQ((s / 2.0).values(), (Keys{1, 2}));
    EXPECT_EQ(binary_operation(2.0, s, [](const double& x, const double& v) { return std::pow(x, v); }).values(),
              (Keys{4, 16}));
}

TEST(BinaryOperationScalar, NegationTurnsZeroIntoNegativeZero) {
    const Scan negated = -make({400, 410}, {0, 2}, Type::LINEAR);
    EXPECT_TRUE(std::signbit(negated.values()[0]));
    EXPECT_EQ(negated.values()[1], -2.0);
}

TEST(BinaryOperationScalar, DivisionByZeroFollowsIeee) {
    const Scan s = make({400, 405, 410}, {1, 0, -1}, Type::LINEAR);
    const Scan by_zero = s / 0.0;
    EXPECT_EQ(by_zero.values()[0], std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(by_zero.values()[1]));
    EXPECT_EQ(by_zero.values()[2], -std::numeric_limits<double>::infinity());
    const Scan by_scan = make({400, 410}, {1, 1}, Type::LINEAR) / s;
    EXPECT_EQ(by_scan.values()[1], std::numeric_limits<double>::infinity());
}

TEST(Transform, SeesEveryKeyAndValue) {
    const Scan s = make({400, 405}, {1, 2}, Type::NONE, 0.5);
    const Scan keys = transform(s, [](const double& k, const double&) { return k; });
    EXPECT_EQ(keys.values(), (Keys{400, 405}));
    EXPECT_EQ(keys.interpolation(), Type::NONE);
    EXPECT_EQ(keys.epsilon(), 0.5);
    EXPECT_EQ(transform(s, [](const double& k, const double& v) { return k * v; }).values(), (Keys{400, 810}));
}

TEST(InPlace, EmptyTargetBecomesCopyOrNegationOrStaysEmpty) {
    const Scan other = make({400, 410}, {1, 2}, Type::CUBIC, 0.5);
    Scan plus;
    plus += other;
    EXPECT_EQ(plus, other);
    EXPECT_EQ(plus.interpolation(), Type::CUBIC);
    Scan minus;
    minus -= other;
    EXPECT_EQ(minus.values(), (Keys{-1, -2}));
    EXPECT_EQ(minus.epsilon(), 0.5);
    EXPECT_EQ(minus.interpolation(), Type::CUBIC);
    Scan times(1e-3, Type::LINEAR);
    times *= other;
    EXPECT_TRUE(times.empty());
    EXPECT_EQ(times.epsilon(), 1e-3);
    Scan divided;
    divided /= other;
    EXPECT_TRUE(divided.empty());
}

TEST(InPlace, KeepsOwnKeysAndEvaluatesTheOtherOperand) {
    Scan s = make({400, 405, 410, 430}, {1, 1, 1, 1}, Type::NONE);
    s += make({400, 420}, {0, 20}, Type::LINEAR);
    EXPECT_EQ(s.wavelengths(), (Keys{400, 405, 410, 430}));
    EXPECT_EQ(s.values(), (Keys{1, 6, 11, 1}));
    EXPECT_EQ(s.interpolation(), Type::NONE);
    s *= 2.0;
    s -= 1.0;
    s /= 0.5;
    EXPECT_EQ(s.values(), (Keys{2, 22, 42, 2}));
}

TEST(InPlace, AnOperandAliasingTheTargetReadsItsOldValues) {
    Scan s = make({400, 405, 410}, {1, 2, 3}, Type::LINEAR);
    const Scan& alias = s;  // as Python passes one object as both operands
    s *= alias;
    EXPECT_EQ(s.values(), (Keys{1, 4, 9}));
    s -= alias;
    EXPECT_EQ(s.values(), (Keys{0, 0, 0}));
}

TEST(InPlace, FailureKeepsTheCombinedPointsAndDiscardsTheCache) {
    Scan s = make({400, 405, 410}, {1, 2, 3}, Type::LINEAR);
    (void)s(402);
    ASSERT_TRUE(s.has_spline());
    EXPECT_EQ(message_of<std::runtime_error>([&] {
                  s += make({400, 410}, {10, 10}, Type::NONE);
              }),
              "Cannot initialize a spline with type None");
    EXPECT_EQ(s.values(), (Keys{11, 2, 3}));
    EXPECT_FALSE(s.has_spline());
}
