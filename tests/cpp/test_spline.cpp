#include "core/spline.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using orvanalysis::spline::Spline;
using orvanalysis::spline::to_string;
using orvanalysis::spline::Type;

TEST(SplineTypeToString, NamesEveryKindAndUnknownValues) {
    EXPECT_EQ(to_string(Type::NONE), "NONE");
    EXPECT_EQ(to_string(Type::AKIMA), "AKIMA");
    EXPECT_EQ(to_string(Type::CUBIC), "CUBIC");
    EXPECT_EQ(to_string(Type::LINEAR), "LINEAR");
    EXPECT_EQ(to_string(Type::POLYNOMIAL), "POLYNOMIAL");
    EXPECT_EQ(to_string(static_cast<Type>(7)), "UNKNOWN");
    EXPECT_EQ(to_string(static_cast<Type>(-1)), "UNKNOWN");
}

TEST(SplineInit, RefusesFewerPointsThanTheKindNeeds) {
    const std::vector<double> x{1, 2, 3, 4, 5};
    const std::vector<double> y{1, 4, 9, 16, 25};
    const std::vector<std::pair<Type, std::size_t>> fewest{
        {Type::AKIMA, 5}, {Type::CUBIC, 3}, {Type::POLYNOMIAL, 3}, {Type::LINEAR, 2}};
    for (const auto& [type, n] : fewest) {
        Spline too_few;
        EXPECT_FALSE(too_few.init(x.data(), y.data(), n - 1, type)) << to_string(type);
        EXPECT_FALSE(too_few.is_built());
        Spline enough;
        EXPECT_TRUE(enough.init(x.data(), y.data(), n, type)) << to_string(type);
        EXPECT_TRUE(enough.is_built());
    }
}

TEST(SplineEval, LinearInterpolatesAndIntegratesTheChord) {
    const std::vector<double> x{400, 410};
    const std::vector<double> y{1, 2};
    Spline s;
    ASSERT_TRUE(s.init(x.data(), y.data(), 2, Type::LINEAR));
    EXPECT_DOUBLE_EQ(s.eval(405), 1.5);
    EXPECT_DOUBLE_EQ(s.eval_integ(400, 410), 15.0);
}

TEST(SplineEval, EveryKindReproducesAStraightLine) {
    // Akima, natural cubic, polynomial and linear interpolation are all exact on linear data.
    std::vector<double> x;
    std::vector<double> y;
    for (int i = 0; i < 9; ++i) {
        x.push_back(400.0 + 5.0 * i);
        y.push_back(0.25 * x.back() - 3.0);
    }
    for (Type type : {Type::AKIMA, Type::CUBIC, Type::LINEAR, Type::POLYNOMIAL}) {
        Spline s;
        ASSERT_TRUE(s.init(x.data(), y.data(), x.size(), type));
        for (double w : {401.0, 412.5, 433.3, 439.9}) {
            EXPECT_NEAR(s.eval(w), 0.25 * w - 3.0, 1e-9) << to_string(type) << " at " << w;
        }
        // Integral of 0.25 w - 3 from 402 to 437: 0.125 (437^2 - 402^2) - 3 * 35.
        EXPECT_NEAR(s.eval_integ(402, 437), 0.125 * (437.0 * 437.0 - 402.0 * 402.0) - 105.0, 1e-7) << to_string(type);
    }
}

TEST(SplineEval, PolynomialThroughAQuadraticIsThatQuadratic) {
    const std::vector<double> x{0, 1, 2, 3, 4};
    const std::vector<double> y{0, 1, 4, 9, 16};
    Spline s;
    ASSERT_TRUE(s.init(x.data(), y.data(), x.size(), Type::POLYNOMIAL));
    EXPECT_NEAR(s.eval(2.5), 6.25, 1e-12);
    EXPECT_NEAR(s.eval_integ(0, 4), 64.0 / 3.0, 1e-12);
}

TEST(SplineLifecycle, EmptyCacheEvaluatesToZeroAndCopiesStartEmpty) {
    const std::vector<double> x{400, 410};
    const std::vector<double> y{1, 2};
    Spline built;
    ASSERT_TRUE(built.init(x.data(), y.data(), 2, Type::LINEAR));

    const Spline copy(built);
    EXPECT_FALSE(copy.is_built());
    Spline assigned;
    ASSERT_TRUE(assigned.init(x.data(), y.data(), 2, Type::LINEAR));
    assigned = built;
    EXPECT_FALSE(assigned.is_built());

    Spline moved(std::move(built));
    EXPECT_TRUE(moved.is_built());
    EXPECT_DOUBLE_EQ(moved.eval(405), 1.5);

    moved.reset();
    EXPECT_FALSE(moved.is_built());
    EXPECT_EQ(moved.eval(405), 0.0);
    EXPECT_EQ(moved.eval_integ(400, 410), 0.0);
    moved.reset();  // resetting an empty cache is harmless
    EXPECT_FALSE(moved.is_built());
}

TEST(SplineInit, RebuildsAfterReset) {
    const std::vector<double> x{0, 1, 2};
    const std::vector<double> first{0, 1, 2};
    const std::vector<double> second{0, 2, 4};
    Spline s;
    ASSERT_TRUE(s.init(x.data(), first.data(), 3, Type::CUBIC));
    EXPECT_NEAR(s.eval(1.5), 1.5, 1e-12);
    s.reset();
    ASSERT_TRUE(s.init(x.data(), second.data(), 3, Type::CUBIC));
    EXPECT_NEAR(s.eval(1.5), 3.0, 1e-12);
}
