#include "core/scan_arithmetic.hpp"
#include "test_support.hpp"

using orvanalysis::binary_operation;
using orvanalysis::transform;

TEST(ScanArithmetic, InterpolatedOperandsMeetOverTheirOverlap) {
    const Scan sum = make({400, 410}, {1, 2}) + make({405, 410, 415}, {10, 15, 20}, Type::CUBIC);
    EXPECT_EQ(sum.to_lists(), (std::vector<Keys>{{405, 410}, {11.5, 17}}));
    EXPECT_EQ(sum.interpolation(), Type::LINEAR) << "the kind of the first interpolated operand";
    // A table takes its keys inside the range of the interpolated operand, which it lends its kind.
    const Scan table = make({400, 420}, {1, 2}, Type::NONE);
    const Scan curve = make({405, 410, 415, 420, 425}, {10, 20, 30, 40, 50}, Type::AKIMA);
    EXPECT_EQ((table + curve).to_lists(), (std::vector<Keys>{{420}, {42}}));
    EXPECT_EQ((curve * table).wavelengths(), (Keys{420}));
    EXPECT_EQ((curve * table).interpolation(), Type::AKIMA);
    EXPECT_TRUE((make({400, 410}, {1, 2}) * make({420, 430}, {1, 2}, Type::NONE)).empty());
    EXPECT_TRUE((make({420, 430}, {1, 2}, Type::NONE) * make({400, 410}, {1, 2})).empty());
    EXPECT_EQ(message_of<std::runtime_error>([] {
                  (void)(make({400, 405, 410, 415}, {1, 2, 3, 4}, Type::AKIMA) * make({402, 412}, {1, 1}));
              }).rfind("Cannot initialize a spline, too few points: AKIMA", 0),
              0U);
}

TEST(ScanArithmetic, TablesCombineAtCommonKeysEachWithItsOwnEpsilon) {
    const Scan sum = make({400, 405, 410}, {1, 2, 3}, Type::NONE) + make({405, 410, 415}, {10, 20, 30}, Type::NONE);
    EXPECT_EQ(sum.to_lists(), (std::vector<Keys>{{405, 410}, {12, 23}}));
    EXPECT_EQ(sum.interpolation(), Type::AKIMA);
    const Scan a = make({400}, {1}, Type::NONE, 0.5);
    const Scan b = make({400.3}, {2}, Type::NONE);
    EXPECT_THROW((void)(a + b), std::out_of_range);  // b has no key within 1e-20 of 400
    EXPECT_EQ((b + a).to_lists(), (std::vector<Keys>{{400.3}, {3}}));
}

TEST(ScanArithmetic, KeysOfBWinOverEquivalentKeysOfA) {
    // e = 0.25. Keys of b inside [400, 408.25]: 401, 402.2, 403.9, 405 and 408.1 (past a's last
    // key, within e). Keys of a with k + 0.25 >= 401: 402, 404, 406, 408, of which 402, 404 and
    // 408 lie within 0.25 of a key of b. Evaluating a (epsilon 0.5) at 402.2, 403.9 and 408.1
    // hits its stored keys.
    const Scan a = make({400, 402, 404, 406, 408}, {0, 2, 4, 6, 8}, Type::LINEAR, 0.5);
    const Scan b = make({401, 402.2, 403.9, 405, 408.1}, {802, 804.4, 807.8, 810, 816.2}, Type::LINEAR, 0.25);
    const Scan sum = a + b;
    EXPECT_EQ(sum.wavelengths(), (Keys{401, 402.2, 403.9, 405, 406, 408.1}));
    EXPECT_EQ(sum.values(), (Keys{1 + 802, 2 + 804.4, 4 + 807.8, 5 + 810, 6 + 812, 8 + 816.2}));
    EXPECT_EQ(sum.epsilon(), 0.25);
    // Natural cubic splines reproduce straight lines, so the product is (2k + 1)(k - 3).
    const Scan product = make({400, 405, 410, 415, 420}, {801, 811, 821, 831, 841}, Type::CUBIC) *
                         make({402, 406, 410, 414, 418}, {399, 403, 407, 411, 415}, Type::CUBIC);
    EXPECT_EQ(product.wavelengths(), (Keys{402, 405, 406, 410, 414, 415, 418}));
    for (const auto& [k, v] : product) {
        EXPECT_NEAR(v, (2 * k + 1) * (k - 3), 1e-9 * v) << "at " << k;
    }
}

TEST(ScanArithmetic, NumbersKeepKeysEpsilonAndKind) {
    const Scan s = make({400, 410}, {2, 4}, Type::CUBIC, 0.125);
    const auto power = [](double x, double v) { return std::pow(x, v); };
    for (const auto& [r, values] :
         std::vector<std::pair<Scan, Keys>>{{10.0 - s, {8, 6}},
                                            {8.0 / s, {4, 2}},
                                            {binary_operation(2.0, s, power), {4, 16}},
                                            {transform(s, [](double k, double v) { return k * v; }), {800, 1640}}}) {
        EXPECT_EQ(r, make({400, 410}, values, Type::CUBIC, 0.125));
        EXPECT_EQ(r.interpolation(), Type::CUBIC);
    }
    EXPECT_TRUE(std::signbit((-make({400}, {0})).values()[0]));
    const Scan by_zero = make({400, 405, 410}, {1, 0, -1}) / 0.0;
    EXPECT_EQ(by_zero.values()[0], INFINITY);
    EXPECT_TRUE(std::isnan(by_zero.values()[1]));
}

TEST(ScanArithmetic, InPlaceKeepsOwnKeysAndEvaluatesTheOther) {
    const Scan other = make({400, 410}, {1, 2}, Type::CUBIC, 0.5);
    Scan plus;
    plus += other;
    EXPECT_EQ(plus, other);
    EXPECT_EQ(plus.interpolation(), Type::CUBIC);
    Scan minus;
    minus -= other;
    EXPECT_EQ(minus, make({400, 410}, {-1, -2}, Type::CUBIC, 0.5));
    Scan times(1e-3, Type::LINEAR);
    times *= other;
    EXPECT_TRUE(times.empty());
    EXPECT_EQ(times.epsilon(), 1e-3);

    Scan s = make({400, 405, 410, 430}, {1, 1, 1, 1}, Type::NONE);
    s += make({400, 420}, {0, 20});
    EXPECT_EQ(s.to_lists(), (std::vector<Keys>{{400, 405, 410, 430}, {1, 6, 11, 1}}));
    s *= 2.0;
    s -= 1.0;
    s /= 0.5;
    EXPECT_EQ(s.values(), (Keys{2, 22, 42, 2}));
    const Scan& alias = s;  // as Python passes one object as both operands
    s *= alias;
    EXPECT_EQ(s.values(), (Keys{4, 484, 1764, 4}));

    Scan partial = make({400, 405, 410}, {1, 2, 3});
    (void)partial(402);
    EXPECT_EQ(message_of<std::runtime_error>([&] {
                  partial += make({400, 410}, {10, 10}, Type::NONE);
              }),
              "Cannot initialize a spline with type None");
    EXPECT_EQ(partial.values(), (Keys{1, 2, 3})) << "a failed operation leaves the scan as it was";
}
