#include "core/scan.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using orvanalysis::Scan;
using orvanalysis::spline::Type;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Scan linear_scan() { return Scan({400, 410, 420}, {1, 2, 0}, Scan::Default_Wavelength_Epsilon, Type::LINEAR); }

}  // namespace

TEST(ScanConstruction, DefaultsAndConstants) {
    const Scan s;
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(s.interpolation(), Type::AKIMA);
    EXPECT_EQ(s.epsilon(), 1e-20);
    double bits_of_epsilon = 0;
    const unsigned long long expected_bits = 0x3BC79CA10C924223ULL;
    std::memcpy(&bits_of_epsilon, &expected_bits, sizeof bits_of_epsilon);
    EXPECT_EQ(Scan::Default_Wavelength_Epsilon, bits_of_epsilon);
    EXPECT_FALSE(Scan(0.0, Type::NONE).is_interpolated());
    EXPECT_TRUE(Scan(0.0, Type::LINEAR).is_interpolated());
}

TEST(ScanConstruction, ArraysOfDifferentLengthsAreRefused) {
    EXPECT_EQ(message_of([] {
                  (void)Scan({400, 405}, {1}, 0.0, Type::LINEAR);
              }),
              "Scan::Scan: wavelength and signal must be the same size");
    EXPECT_THROW((void)Scan({400, 405}, {1}, 0.0, Type::LINEAR), std::runtime_error);
}

TEST(ScanConstruction, NanWavelengthsAndInvalidEpsilonsAreRefused) {
    EXPECT_THROW((void)Scan({400, kNaN, 410}, {1, 2, 3}, 0.0, Type::LINEAR), std::invalid_argument);
    EXPECT_THROW((void)Scan(std::vector<Scan::value_type>{{400, 1}, {kNaN, 2}}), std::invalid_argument);
    EXPECT_THROW((void)Scan(-1e-3, Type::LINEAR), std::invalid_argument);
    EXPECT_THROW((void)Scan(kNaN, Type::LINEAR), std::invalid_argument);
    EXPECT_THROW((void)Scan({400}, {1}, -1.0, Type::LINEAR), std::invalid_argument);
    // An infinite epsilon is a consistent, if extreme, tolerance: every key is the same key.
    const Scan merged({400, 500, 600}, {1, 2, 3}, std::numeric_limits<double>::infinity(), Type::LINEAR);
    EXPECT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged.at(400), 3.0);
}

TEST(ScanConstruction, ArraysInsertOrAssignAndPairListsKeepTheFirst) {
    const Scan arrays({400, 400}, {1, 2}, Scan::Default_Wavelength_Epsilon, Type::AKIMA);
    ASSERT_EQ(arrays.size(), 1u);
    EXPECT_EQ(arrays.at(400), 2.0);

    const Scan pairs(std::vector<Scan::value_type>{{400, 1}, {400, 2}, {390, 5}});
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs.at(400), 1.0);
    EXPECT_EQ(pairs.min_wavelength(), 390.0);
    EXPECT_EQ(pairs.epsilon(), Scan::Default_Wavelength_Epsilon);
    EXPECT_EQ(pairs.interpolation(), Scan::Default_Interpolation);
}

TEST(ScanConstruction, EqualKeysOutOfOrderKeepTheFirstKeyAndTheRuleValue) {
    // 0.0 and -0.0 are one key: the first stored stays, holding the later value.
    const Scan arrays({0.0, 5.0, -0.0, 2.0, 5.0}, {1, 2, 3, 4, 5}, 0.0, Type::LINEAR);
    EXPECT_EQ(arrays.wavelengths(), (std::vector<double>{0, 2, 5}));
    EXPECT_FALSE(std::signbit(arrays.wavelengths()[0]));
    EXPECT_EQ(arrays.values(), (std::vector<double>{3, 4, 5}));
    const Scan pairs(std::vector<Scan::value_type>{{-0.0, 1}, {5, 2}, {0.0, 3}, {5, 4}});
    EXPECT_TRUE(std::signbit(pairs.wavelengths()[0]));
    EXPECT_EQ(pairs.values(), (std::vector<double>{1, 2}));
    // Near zero the default epsilon is not below the keys' rounding: 1e-21 and 0 are one key.
    const Scan tiny({1e-21, 3, 0.0}, {1, 2, 3}, Scan::Default_Wavelength_Epsilon, Type::LINEAR);
    EXPECT_EQ(tiny.wavelengths(), (std::vector<double>{1e-21, 3}));
    EXPECT_EQ(tiny.values(), (std::vector<double>{3, 2}));
}

TEST(ScanConstruction, InsertionOrderDecidesMergesUnderALargeEpsilon) {
    // 400.8 is more than 0.5 from 400 and joins; 400.4 then matches 400 and assigns to it.
    const Scan first({400, 400.8, 400.4}, {1, 2, 3}, 0.5, Type::LINEAR);
    EXPECT_EQ(first.wavelengths(), (std::vector<double>{400, 400.8}));
    EXPECT_EQ(first.values(), (std::vector<double>{3, 2}));
    // Starting from 400.4, both later wavelengths lie within 0.5 of it.
    const Scan second({400.4, 400, 400.8}, {1, 2, 3}, 0.5, Type::LINEAR);
    EXPECT_EQ(second.wavelengths(), (std::vector<double>{400.4}));
    EXPECT_EQ(second.values(), (std::vector<double>{3}));
}

TEST(ScanConstruction, AnyInputOrderMatchesAnOrdinaryMap) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> key(0, 400);
    std::vector<double> w;
    std::vector<double> v;
    std::map<double, double> model;
    for (int i = 0; i < 2000; ++i) {
        w.push_back(380.0 + 0.5 * key(rng));
        v.push_back(i);
        model[w.back()] = v.back();
    }
    const Scan s(w, v, Scan::Default_Wavelength_Epsilon, Type::NONE);
    ASSERT_EQ(s.size(), model.size());
    std::size_t i = 0;
    for (const auto& [k, value] : model) {
        EXPECT_EQ(s.wavelengths()[i], k);
        EXPECT_EQ(s.values()[i], value);
        ++i;
    }

    std::vector<double> descending;
    std::vector<double> values;
    for (int k = 100000; k > 0; --k) {
        descending.push_back(k);
        values.push_back(2.0 * k);
    }
    const Scan reversed(descending, values, Scan::Default_Wavelength_Epsilon, Type::LINEAR);
    ASSERT_EQ(reversed.size(), 100000u);
    EXPECT_EQ(reversed.min_wavelength(), 1.0);
    EXPECT_EQ(reversed.max_wavelength(), 100000.0);
    EXPECT_EQ(reversed.at(777), 1554.0);
}

TEST(ScanLookup, LargeEpsilonBoundsAreInclusive) {
    Scan s(0.5, Type::LINEAR);
    s.add(400, 1);
    EXPECT_TRUE(s.contains(400.5));
    EXPECT_TRUE(s.contains(399.5));
    EXPECT_FALSE(s.contains(400.6));
    EXPECT_FALSE(s.contains(399.4));
    EXPECT_FALSE(s.contains(kNaN));

    s.add(400.3, 7);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s.min_wavelength(), 400.0);
    EXPECT_EQ(s.at(400), 7.0);
    EXPECT_EQ(s.at(399.7), 7.0);
    EXPECT_EQ(s.find(400.2)->first, 400.0);
    EXPECT_EQ(s.find(401), s.end());
}

TEST(ScanLookup, AtAndAddErrors) {
    Scan s = linear_scan();
    EXPECT_EQ(message_of([&] { (void)std::as_const(s).at(401); }), "invalid map<K, T> key");
    EXPECT_THROW((void)s.at(401), std::out_of_range);
    EXPECT_THROW(s.add(kNaN, 1), std::invalid_argument);
    EXPECT_EQ(s.size(), 3u);
}

TEST(ScanLookup, AddKeepsKeysOrderedWhereverTheyArrive) {
    Scan s(Scan::Default_Wavelength_Epsilon, Type::LINEAR);
    for (double w : {410.0, 400.0, 420.0, 405.0, 415.0}) {
        s.add(w, w / 10);
    }
    EXPECT_EQ(s.wavelengths(), (std::vector<double>{400, 405, 410, 415, 420}));
    EXPECT_EQ(s.values(), (std::vector<double>{40, 40.5, 41, 41.5, 42}));
    s.add(405, -1);
    EXPECT_EQ(s.size(), 5u);
    EXPECT_EQ(s.at(405), -1.0);
}

TEST(ScanEpsilon, ReKeyingKeepsTheLowestOfARun) {
    Scan s({400, 400.4, 400.8, 402}, {1, 2, 3, 4}, Scan::Default_Wavelength_Epsilon, Type::LINEAR);
    s.set_epsilon(0.5);
    EXPECT_EQ(s.epsilon(), 0.5);
    EXPECT_EQ(s.wavelengths(), (std::vector<double>{400, 400.8, 402}));
    EXPECT_EQ(s.values(), (std::vector<double>{1, 3, 4}));

    EXPECT_THROW(s.set_epsilon(-0.1), std::invalid_argument);
    EXPECT_THROW(s.set_epsilon(kNaN), std::invalid_argument);
    EXPECT_EQ(s.epsilon(), 0.5);
    EXPECT_EQ(s.size(), 3u);
}

TEST(ScanBounds, EmptyScanErrors) {
    const Scan s;
    EXPECT_EQ(message_of([&] { (void)s.min_wavelength(); }), "Scan::min_wavelength: empty scan");
    EXPECT_EQ(message_of([&] { (void)s.max_wavelength(); }), "Scan::max_wavelength: empty scan");
    const Scan one({500}, {2}, 0.0, Type::AKIMA);
    EXPECT_EQ(one.min_wavelength(), 500.0);
    EXPECT_EQ(one.max_wavelength(), 500.0);
}

TEST(ScanEvaluate, StoredKeysInteriorAndOutside) {
    const Scan s = linear_scan();
    EXPECT_EQ(s(400), 1.0);
    EXPECT_EQ(s(420), 0.0);
    EXPECT_EQ(s(410), 2.0);
    EXPECT_DOUBLE_EQ(s(405), 1.5);
    EXPECT_DOUBLE_EQ(s(417.5), 0.5);
    EXPECT_EQ(s(399.999), 0.0);
    EXPECT_EQ(s(420.001), 0.0);
    EXPECT_EQ(s(kNaN), 0.0);
    EXPECT_EQ(Scan()(400), 0.0);
}

TEST(ScanEvaluate, TablesAndShortScansWorkAtTheirKeysOnly) {
    const Scan table({400, 410}, {1, 2}, 0.0, Type::NONE);
    EXPECT_EQ(table(400), 1.0);
    EXPECT_EQ(table(410), 2.0);
    EXPECT_EQ(table(380), 0.0);
    EXPECT_EQ(message_of([&] { (void)table(405); }), "Cannot initialize a spline with type None");
    EXPECT_FALSE(table.has_spline());

    const Scan four({400, 405, 410, 415}, {1, 2, 3, 4}, 0.0, Type::AKIMA);
    EXPECT_EQ(four(405), 2.0);
    EXPECT_EQ(message_of([&] { (void)four(402); }), "Cannot initialize a spline, too few points");
    EXPECT_FALSE(four.has_spline());
    Scan five = four;
    five.add(420, 5);
    EXPECT_NEAR(five(402), 1.4, 1e-12);

    const Scan one({500}, {2}, 0.0, Type::LINEAR);
    EXPECT_EQ(one(500), 2.0);
    EXPECT_EQ(one(501), 0.0);
}

TEST(ScanIntegral, ClipsOrdersAndIgnoresDirection) {
    const Scan s = linear_scan();
    EXPECT_DOUBLE_EQ(s.integral(400, 410), 15.0);
    EXPECT_DOUBLE_EQ(s.integral(410, 400), 15.0);
    // Clipped to [400, 405]: 5 * (1 + 1.5) / 2.
    EXPECT_DOUBLE_EQ(s.integral(390, 405), 6.25);
    EXPECT_DOUBLE_EQ(s.integral(415, 402), s.integral(402, 415));
    EXPECT_DOUBLE_EQ(s.integral(), 25.0);
    EXPECT_DOUBLE_EQ(s.integral(-1e9, 1e9), 25.0);
    EXPECT_EQ(s.integral(405, 405), 0.0);
    EXPECT_EQ(s.integral(430, 440), 0.0);
    EXPECT_EQ(s.integral(kNaN, 405), 0.0);
    EXPECT_EQ(Scan().integral(), 0.0);
    EXPECT_EQ(Scan().integral(400, 500), 0.0);
}

TEST(ScanIntegral, PolynomialsUnderExactKinds) {
    // The natural cubic and the polynomial reproduce straight lines and the polynomial a
    // cubic, so their integrals are the closed forms.
    std::vector<double> w;
    std::vector<double> line;
    std::vector<double> cubic;
    for (int i = 0; i <= 8; ++i) {
        const double x = i * 0.5;
        w.push_back(x);
        line.push_back(3 * x + 2);
        cubic.push_back(x * x * x - x);
    }
    const Scan l(w, line, 0.0, Type::CUBIC);
    EXPECT_NEAR(l.integral(0.7, 3.1), 1.5 * (3.1 * 3.1 - 0.7 * 0.7) + 2 * 2.4, 1e-12);
    const Scan c(w, cubic, 0.0, Type::POLYNOMIAL);
    // Integral of x^3 - x from 0 to 4: 64 - 8.
    EXPECT_NEAR(c.integral(), 56.0, 1e-9);
}

TEST(ScanIntegral, NeedsABuildableSplineEvenOutsideTheData) {
    const Scan table({400, 410}, {1, 2}, 0.0, Type::NONE);
    EXPECT_EQ(message_of([&] { (void)table.integral(500, 600); }), "Cannot initialize a spline with type None");
    const Scan one({500}, {2}, 0.0, Type::LINEAR);
    EXPECT_EQ(one.integral(), 0.0);
    EXPECT_EQ(message_of([&] { (void)one.integral(400, 600); }), "Cannot initialize a spline, too few points");
    const Scan one_table({500}, {2}, 0.0, Type::NONE);
    EXPECT_EQ(one_table.integral(), 0.0);
    EXPECT_EQ(message_of([&] { (void)one_table.integral(400, 600); }), "Cannot initialize a spline with type None");
}

TEST(ScanSplineCache, BuiltLazilyReusedAndDiscardedOnChange) {
    Scan s = linear_scan();
    EXPECT_FALSE(s.has_spline());
    (void)s(410);
    (void)s(300);
    EXPECT_FALSE(s.has_spline()) << "stored keys and outside wavelengths need no spline";
    (void)s(405);
    EXPECT_TRUE(s.has_spline());
    (void)s.integral();
    EXPECT_TRUE(s.has_spline());

    s.add(430, 1);
    EXPECT_FALSE(s.has_spline());
    EXPECT_DOUBLE_EQ(s(425), 0.5) << "the rebuilt spline sees the new point";

    s.set_interpolation(Type::LINEAR);
    EXPECT_TRUE(s.has_spline());
    s.set_interpolation(Type::CUBIC);
    EXPECT_FALSE(s.has_spline());

    (void)s(405);
    const Scan copy = s;
    EXPECT_FALSE(copy.has_spline());
    Scan moved = std::move(s);
    EXPECT_TRUE(moved.has_spline());

    for (auto change : std::vector<void (*)(Scan&)>{
             [](Scan& x) { x.crop(0, 1000); },
             [](Scan& x) { x.for_each([](const double&, double&) {}); },
             [](Scan& x) { x.set_epsilon(1e-20); },
             [](Scan& x) { x.at(400) = 3; },
             [](Scan& x) { x = Scan(x); },
         }) {
        (void)moved(405);
        ASSERT_TRUE(moved.has_spline());
        change(moved);
        EXPECT_FALSE(moved.has_spline());
    }
    EXPECT_EQ(moved(400), 3.0);
}

TEST(ScanSplineCache, ForEachDiscardsTheCacheWhenTheCallbackThrows) {
    Scan s = linear_scan();
    (void)s(405);
    EXPECT_THROW(s.for_each([](const double& w, double& v) {
        v = 100;
        if (w > 405) {
            throw std::runtime_error("stop");
        }
    }),
                 std::runtime_error);
    EXPECT_FALSE(s.has_spline());
    EXPECT_EQ(s.values(), (std::vector<double>{100, 100, 0}));
    EXPECT_DOUBLE_EQ(s(405), 100.0);
}

TEST(ScanCrop, RemovesKeysOutsideTheClosedRange) {
    Scan s({400, 405, 410, 415, 420}, {1, 2, 3, 4, 5}, 0.0, Type::LINEAR);
    s.crop(405, 415);
    EXPECT_EQ(s.wavelengths(), (std::vector<double>{405, 410, 415}));
    EXPECT_EQ(s.values(), (std::vector<double>{2, 3, 4}));
    s.crop(411, 420);
    EXPECT_EQ(s.wavelengths(), (std::vector<double>{415}));
}

TEST(ScanRange, MaximumAndMinimumWithTiesAndEpsilon) {
    const Scan s({400, 405, 410, 415, 420}, {1, 3, 3, 0, 0}, 0.0, Type::LINEAR);
    EXPECT_EQ(s.max_in_range(400, 420)->first, 405.0);
    EXPECT_EQ(s.min_in_range(400, 420)->first, 415.0);
    EXPECT_EQ(s.max_in_range(407, 420)->first, 410.0);
    EXPECT_EQ(s.max_in_range(406, 409), s.end());
    EXPECT_EQ(s.max_in_range(421, 430), s.end());
    EXPECT_EQ(Scan().max_in_range(0, 1), Scan().end());

    const Scan wide({400, 401, 402}, {5, 1, 9}, 0.5, Type::LINEAR);
    // 400 qualifies at lo = 400.5 (400 + 0.5 >= 400.5); 402 at hi = 401.5 (402 <= 401.5 + 0.5).
    EXPECT_EQ(wide.max_in_range(400.5, 401.4)->first, 400.0);
    EXPECT_EQ(wide.max_in_range(400.6, 401.5)->first, 402.0);
    EXPECT_EQ(wide.min_in_range(400.6, 401.4)->first, 401.0);
}

TEST(ScanEquality, ComparesEpsilonKeysAndValuesNotKind) {
    const Scan a({400, 405}, {1, 2}, 0.0, Type::LINEAR);
    EXPECT_EQ(a, Scan({400, 405}, {1, 2}, 0.0, Type::NONE));
    EXPECT_NE(a, Scan({400, 405}, {1, 2}, 1e-9, Type::LINEAR));
    EXPECT_NE(a, Scan({400, 405}, {1, 3}, 0.0, Type::LINEAR));
    EXPECT_NE(a, Scan({400}, {1}, 0.0, Type::LINEAR));
    EXPECT_EQ(Scan({400}, {1}, 0.5, Type::LINEAR), Scan({400.3}, {1}, 0.5, Type::LINEAR));
    const Scan with_nan({400}, {kNaN}, 0.0, Type::LINEAR);
    EXPECT_NE(with_nan, with_nan);
}

TEST(ScanOutput, StreamsOneLinePerPoint) {
    std::ostringstream os;
    os << Scan({400, 405}, {1.1, 2}, 0.0, Type::LINEAR);
    EXPECT_EQ(os.str(), "\n400, 1.1\n405, 2\n");
    std::ostringstream empty;
    empty << Scan();
    EXPECT_EQ(empty.str(), "\n");
}

TEST(ScanAccess, ListsIterationAndMovedOutArrays) {
    const Scan s({410, 400}, {2, 1}, 0.0, Type::LINEAR);
    EXPECT_EQ(s.to_lists(), (std::vector<std::vector<double>>{{400, 410}, {1, 2}}));
    std::vector<std::pair<double, double>> seen(s.begin(), s.end());
    EXPECT_EQ(seen, (std::vector<std::pair<double, double>>{{400, 1}, {410, 2}}));
    EXPECT_EQ(s.end() - s.begin(), 2);
    EXPECT_EQ(Scan(s).wavelengths(), (std::vector<double>{400, 410}));
    const Scan like = Scan::empty_like(Scan({1}, {1}, 0.25, Type::CUBIC));
    EXPECT_TRUE(like.empty());
    EXPECT_EQ(like.epsilon(), 0.25);
    EXPECT_EQ(like.interpolation(), Type::CUBIC);
}

TEST(ScanRevision, ChangesWithTheContentAndIsNeverShared) {
    Scan s = linear_scan();
    const auto first = s.revision();
    EXPECT_EQ(s.revision(), first);
    (void)s(405);
    (void)s.integral();
    EXPECT_EQ(s.revision(), first) << "reading changes nothing";
    s.set_interpolation(Type::LINEAR);
    EXPECT_EQ(s.revision(), first) << "the kind did not change";

    std::vector<std::uint64_t> seen{first};
    for (auto change : std::vector<void (*)(Scan&)>{
             [](Scan& x) { x.add(430, 1); },
             [](Scan& x) { x.set_interpolation(Type::CUBIC); },
             [](Scan& x) { x.set_epsilon(0.5); },
             [](Scan& x) { x.crop(0, 1000); },
             [](Scan& x) { x.for_each([](const double&, double&) {}); },
             [](Scan& x) { x.at(400) = 3; },
             [](Scan& x) { x = linear_scan(); },
         }) {
        change(s);
        for (const auto earlier : seen) {
            EXPECT_NE(s.revision(), earlier);
        }
        seen.push_back(s.revision());
    }

    const Scan copy = s;
    EXPECT_NE(copy.revision(), s.revision()) << "a copy is another object whose content may change on its own";
    const auto before_move = s.revision();
    Scan moved = std::move(s);
    EXPECT_EQ(moved.revision(), before_move);
    EXPECT_NE(s.revision(), before_move);  // NOLINT(bugprone-use-after-move): the moved-from scan is valid
}
