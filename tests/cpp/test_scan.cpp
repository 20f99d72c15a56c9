#include "core/scan.hpp"
#include "test_support.hpp"

#include <gsl/gsl_spline.h>

#include <map>
#include <memory>
#include <random>
#include <sstream>

TEST(ScanConstruction, RefusalsAndTheKeyRule) {
    const std::string mismatch = "Scan::Scan: wavelength and signal must be the same size";
    EXPECT_EQ(message_of([] { (void)make({400, 405}, {1}); }), mismatch);
    EXPECT_THROW((void)make({400, NAN}, {1, 2}), std::invalid_argument);
    EXPECT_THROW((void)Scan(std::vector<Scan::value_type>{{400, 1}, {NAN, 2}}), std::invalid_argument);
    for (const double epsilon : {-1e-3, std::nan("")}) {
        EXPECT_THROW((void)Scan(epsilon, Type::LINEAR), std::invalid_argument);
    }
    // An infinite epsilon is a consistent, if extreme, tolerance: every key is the same key.
    EXPECT_EQ(make({400, 500, 600}, {1, 2, 3}, Type::LINEAR, INFINITY).values(), (Keys{3}));
    // Arrays assign a repeated key, pair lists keep the first; under a large epsilon the
    // insertion order decides which keys merge.
    const Scan pairs(std::vector<Scan::value_type>{{-0.0, 1}, {5, 2}, {0.0, 3}, {5, 4}});
    EXPECT_TRUE(std::signbit(pairs.wavelengths()[0]));
    EXPECT_EQ(pairs.values(), (Keys{1, 2}));
    EXPECT_EQ(make({400, 400.8, 400.4}, {1, 2, 3}, Type::LINEAR, 0.5).to_lists(),
              (std::vector<Keys>{{400, 400.8}, {3, 2}}));
    EXPECT_EQ(make({400.4, 400, 400.8}, {1, 2, 3}, Type::LINEAR, 0.5).to_lists(), (std::vector<Keys>{{400.4}, {3}}));
}

TEST(ScanConstruction, MergingTolerancesReplayTheInsertions) {
    // Against a tree that inserts each point in turn under the same ordering; near 0 the default
    // epsilon merges distinct keys too, where the pair lists keep the first value.
    using Points = std::vector<Scan::value_type>;
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> key(-30, 30);
    for (const auto& [epsilon, unit] :
         std::vector<std::pair<double, double>>{{0.05, 0.1},
                                                {0.15, 0.1},
                                                {0.5, 0.1},
                                                {2.0, 0.1},
                                                {Scan::Default_Wavelength_Epsilon, 0.5},
                                                {Scan::Default_Wavelength_Epsilon, 1e-21}}) {
        Keys w;
        Keys v;
        Scan added(epsilon, Type::NONE);
        std::map<double, double, orvanalysis::EpsilonLess> assigned({epsilon});
        std::map<double, double, orvanalysis::EpsilonLess> first({epsilon});
        for (int i = 0; i < 300; ++i) {
            w.push_back(key(rng) * unit);
            v.push_back(i);
            assigned.insert_or_assign(w.back(), i);
            first.try_emplace(w.back(), i);
            added.add(w.back(), i);
        }
        const Scan s = make(w, v, Type::NONE, epsilon);
        EXPECT_EQ(Points(s.begin(), s.end()), Points(assigned.begin(), assigned.end())) << epsilon;
        EXPECT_EQ(added, s);
        if (unit < 1e-20) {
            Points pairs;
            for (std::size_t i = 0; i < w.size(); ++i) {
                pairs.emplace_back(w[i], v[i]);
            }
            const Scan p(pairs);
            EXPECT_EQ(Points(p.begin(), p.end()), Points(first.begin(), first.end()));
        }
    }
}

TEST(ScanConstruction, CopiedKeysAreCheckedAtEveryPosition) {
    // One key out of place (equal, lower, NaN) anywhere among ascending keys, in the unrolled
    // steps, their tails and across the copy's blocks, read in place and element by element:
    // the copy must hand it to the sorting constructor, or refuse the NaN as it does.
    struct Column {
        const Keys* keys;
        bool in_place;
        const double* contiguous() const { return in_place ? keys->data() : nullptr; }
        double operator()(std::size_t i) const { return (*keys)[i]; }
    };
    for (const std::size_t n : {2, 3, 4, 5, 6, 7, 9, 511, 512, 513, 514, 1030}) {
        for (std::size_t at = 1; at < n; ++at) {
            if (n > 20 && at % 509 > 6 && n - at > 5) {
                continue;
            }
            for (const double fault : {0.0, -0.5, double(NAN)}) {
                Keys w(n);
                Keys v(n);
                for (std::size_t i = 0; i < n; ++i) {
                    w[i] = 400.0 + static_cast<double>(i);
                    v[i] = static_cast<double>(i % 7);
                }
                w[at] = std::isnan(fault) ? fault : w[at - 1] + fault;
                for (const bool in_place : {true, false}) {
                    const auto copy = [&] {
                        return Scan::copied(n, Column{&w, in_place}, Column{&v, in_place}, 1e-20, Type::LINEAR);
                    };
                    if (std::isnan(fault)) {
                        EXPECT_THROW((void)copy(), std::invalid_argument) << n << " " << at;
                    } else {
                        EXPECT_EQ(copy().to_lists(), make(w, v).to_lists()) << n << " " << at << " " << fault;
                        EXPECT_EQ(copy().size(), n - (fault == 0.0 ? 1 : 0)) << n << " " << at;
                    }
                }
            }
        }
    }
}

TEST(ScanLookup, EpsilonBoundsErrorsAndReKeying) {
    Scan s(0.5, Type::LINEAR);
    s.add(400, 1);
    EXPECT_TRUE(s.contains(400.5) && s.contains(399.5));
    EXPECT_FALSE(s.contains(400.6) || s.contains(399.4) || s.contains(NAN));
    s.add(400.3, 7);
    EXPECT_EQ(s.to_lists(), (std::vector<Keys>{{400}, {7}}));
    EXPECT_EQ(message_of<std::out_of_range>([&] { (void)std::as_const(s).at(401); }),
              "no point at wavelength 401 (within the scan's epsilon 0.5); a scan of kind NONE is not interpolated");
    EXPECT_THROW(s.add(NAN, 1), std::invalid_argument);
    Scan r = make({400, 400.4, 400.8, 402}, {1, 2, 3, 4});
    r.set_epsilon(0.5);  // each run of keys within 0.5 of its first keeps that first
    EXPECT_EQ(r.to_lists(), (std::vector<Keys>{{400, 400.8, 402}, {1, 3, 4}}));
    EXPECT_THROW(r.set_epsilon(-0.1), std::invalid_argument);
    EXPECT_EQ(r.epsilon(), 0.5);
    EXPECT_EQ(message_of([] { (void)Scan().min_wavelength(); }), "Scan::min_wavelength: empty scan");
    EXPECT_EQ(message_of([] { (void)Scan().max_wavelength(); }), "Scan::max_wavelength: empty scan");
}

TEST(ScanEvaluate, StoredKeysInteriorOutsideAndIntegrals) {
    const Scan s = make({400, 410, 420}, {1, 2, 0});
    for (const auto& [w, v] : std::vector<std::pair<double, double>>{
             {400, 1}, {410, 2}, {405, 1.5}, {417.5, 0.5}, {399.999, 0.0}, {420.01, 0}, {NAN, 0}}) {
        EXPECT_DOUBLE_EQ(s(w), v) << w;
    }
    // (from, to, integral): clipped to the data, either direction.
    for (const auto& [from, to, expected] : std::vector<std::array<double, 3>>{
             {400, 410, 15}, {410, 400, 15}, {390, 405, 6.25}, {-1e9, 1e9, 25}, {405, 405, 0}, {430, 440, 0}}) {
        EXPECT_DOUBLE_EQ(s.integral(from, to), expected) << from << " " << to;
    }
    EXPECT_EQ(s.integral(NAN, 405), 0.0);
    EXPECT_EQ(s.integral(), 25.0);
    EXPECT_EQ(Scan().integral(400, 500), 0.0);
    EXPECT_EQ(Scan().integral(), 0.0);
    EXPECT_EQ(Scan()(400), 0.0);
    EXPECT_EQ(make({500}, {2}).integral(), 0.0);
    // A natural cubic reproduces a line, a polynomial a cubic: x³ - x integrates to 56 on [0, 4].
    const auto line = [](double x) { return 3 * x + 2; };
    const auto cubic = [](double x) { return x * x * x - x; };
    EXPECT_NEAR(sampled(0, 4, 0.5, line, Type::CUBIC).integral(0.7, 3.1), 1.5 * (3.1 * 3.1 - 0.49) + 4.8, 1e-12);
    EXPECT_NEAR(sampled(0, 4, 0.5, cubic, Type::POLYNOMIAL).integral(), 56, 1e-9);
    // Tables and short scans work at their keys only.
    const Scan table = make({400, 410}, {1, 2}, Type::NONE);
    EXPECT_EQ(table(410), 2.0);
    EXPECT_EQ(message_of([&] { (void)table.integral(500, 600); }), "Cannot initialize a spline with type None");
    EXPECT_EQ(message_of([] {
                  (void)make({400, 405, 410, 415}, {1, 2, 3, 4}, Type::AKIMA)(402);
              }),
              "Cannot initialize a spline, too few points: AKIMA interpolation needs at least 5 points and this scan "
              "has 4; Interpolation.LINEAR needs 2 (scan.interpolation = Interpolation.LINEAR, or "
              "interpolation=Interpolation.LINEAR when it is made)");
    EXPECT_EQ(message_of([] { (void)make({400}, {1}, Type::LINEAR).integral(390, 410); }),
              "Cannot initialize a spline, too few points: LINEAR interpolation needs at least 2 points and this scan "
              "has 1");
}

TEST(ScanEvaluate, IntegralsOverAnySpanAgreeWithGslsWalkOverTheIntervals) {
    // Each integral is a difference of running totals now; GSL sums the intervals one by one.
    std::mt19937 rng(20);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const std::vector<std::pair<Type, const gsl_interp_type*>> kinds{{Type::AKIMA, gsl_interp_akima},
                                                                     {Type::CUBIC, gsl_interp_cspline},
                                                                     {Type::LINEAR, gsl_interp_linear},
                                                                     {Type::STEFFEN, gsl_interp_steffen}};
    for (const auto& [kind, gsl_kind] : kinds) {
        for (int trial = 0; trial < 20; ++trial) {
            Keys w{300 + unit(rng)};
            Keys v{unit(rng)};
            while (w.size() < 400) {
                w.push_back(w.back() + 0.01 + 3 * unit(rng) * unit(rng));
                v.push_back(trial % 2 ? unit(rng) : 1.5 + std::sin(w.back() / 9));
            }
            const Scan s = make(w, v, kind);
            const std::unique_ptr<gsl_spline, void (*)(gsl_spline*)> gsl(gsl_spline_alloc(gsl_kind, w.size()),
                                                                         gsl_spline_free);
            gsl_spline_init(gsl.get(), w.data(), v.data(), w.size());
            for (int k = 0; k < 100; ++k) {
                double lo = k % 4 == 0 ? w[rng() % w.size()] : w.front() + (w.back() - w.front()) * unit(rng);
                double hi = k % 4 == 1 ? w[rng() % w.size()] : w.front() + (w.back() - w.front()) * unit(rng);
                std::tie(lo, hi) = std::minmax(lo, hi);
                const double expected = gsl_spline_eval_integ(gsl.get(), lo, hi, nullptr);
                ASSERT_NEAR(s.integral(lo, hi), expected, 1e-12 * std::abs(expected)) << lo << " " << hi;
            }
        }
    }
}

TEST(ScanCache, SplineAndRevisionFollowEveryChange) {
    Scan s = make({400, 410, 420}, {1, 2, 0});
    (void)s(410);
    (void)s(300);
    EXPECT_FALSE(s.has_spline()) << "stored keys and outside wavelengths need no spline";
    const auto first = s.revision();
    (void)s(405);
    s.set_interpolation(Type::LINEAR);
    EXPECT_TRUE(s.has_spline());
    EXPECT_EQ(s.revision(), first) << "reading and an unchanged kind change nothing";
    EXPECT_FALSE(Scan(s).has_spline());
    EXPECT_NE(Scan(s).revision(), first);
    std::vector<std::uint64_t> seen{first};
    for (auto change : std::vector<void (*)(Scan&)>{
             [](Scan& x) { x.add(430, 1); },
             [](Scan& x) { x.set_interpolation(Type::CUBIC); },
             [](Scan& x) { x.set_epsilon(1e-20); },
             [](Scan& x) { x.crop(0, 1000); },
             [](Scan& x) { x.for_each([](const double&, double&) {}); },
             [](Scan& x) { x.at(400) = 3; },
             [](Scan& x) { x = Scan(x); },
             [](Scan& x) {
                 EXPECT_ANY_THROW(x.for_each([](const double&, double&) { throw std::runtime_error(""); }));
             },
         }) {
        (void)s(405);
        ASSERT_TRUE(s.has_spline());
        change(s);
        EXPECT_FALSE(s.has_spline());
        for (const auto earlier : seen) {
            EXPECT_NE(s.revision(), earlier);
        }
        seen.push_back(s.revision());
    }
    s.set_interpolation(Type::LINEAR);
    EXPECT_DOUBLE_EQ(s(425), 0.5) << "the rebuilt spline sees the new point";
}

TEST(ScanRange, CropMaximumMinimumEqualityAndText) {
    Scan s = make({400, 405, 410, 415, 420}, {1, 3, 3, 0, 0});
    EXPECT_EQ(s.max_in_range(400, 420)->first, 405.0) << "the first of equal maxima";
    EXPECT_EQ(s.min_in_range(400, 420)->first, 415.0);
    EXPECT_EQ(s.max_in_range(407, 420)->first, 410.0);
    EXPECT_EQ(s.max_in_range(406, 409), s.end());
    EXPECT_EQ(s.min_in_range(411, 415)->first, 415.0) << "the one key in range, at its upper end";
    const Scan wide = make({400, 401, 402}, {5, 1, 9}, Type::LINEAR, 0.5);
    EXPECT_EQ(wide.max_in_range(400.5, 401.4)->first, 400.0);  // 400 + 0.5 >= 400.5
    EXPECT_EQ(wide.max_in_range(400.6, 401.5)->first, 402.0);  // 402 <= 401.5 + 0.5
    s.crop(405, 415);
    EXPECT_EQ(s.wavelengths(), (Keys{405, 410, 415}));
    s.crop(411, 420);
    EXPECT_EQ(s.to_lists(), (std::vector<Keys>{{415}, {0}}));
    const Scan a = make({400, 405}, {1, 2});
    EXPECT_EQ(a, make({400, 405}, {1, 2}, Type::NONE)) << "the kind is not compared";
    for (const Scan& other : {make({400, 405}, {1, 2}, Type::LINEAR, 1e-9), make({400, 405}, {1, 3}),
                              make({400, 405.5}, {1, 2}), make({400}, {1})}) {
        EXPECT_NE(a, other);
    }
    EXPECT_EQ(make({400}, {1}, Type::LINEAR, 0.5), make({400.3}, {1}, Type::LINEAR, 0.5));
    std::ostringstream os;
    os << make({400, 405}, {1.1, 2}) << Scan();
    EXPECT_EQ(os.str(), "\n400, 1.1\n405, 2\n\n");
}
