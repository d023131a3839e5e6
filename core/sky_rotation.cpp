#include "core/sky_rotation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace nocturo {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Point {
    double x = 0;
    double y = 0;
};

// The stars of a frame on a grid of square cells, for the stars near a
// position.
class StarGrid {
  public:
    StarGrid(const std::vector<Star>& stars, int width, int height, double cell)
        : stars_(stars), cell_(cell) {
        // Rotated positions may fall outside the picture: a margin of cells.
        x0_ = -cell * 2;
        y0_ = -cell * 2;
        columns_ = static_cast<int>((width + cell * 4) / cell) + 1;
        rows_ = static_cast<int>((height + cell * 4) / cell) + 1;
        first_.assign(static_cast<size_t>(columns_) * rows_ + 1, 0);
        for (const Star& s : stars) {
            const int k = CellOf(s.x, s.y);
            if (k >= 0) {
                ++first_[k + 1];
            }
        }
        for (size_t k = 1; k < first_.size(); ++k) {
            first_[k] += first_[k - 1];
        }
        order_.resize(first_.back());
        std::vector<int> fill(first_.begin(), first_.end() - 1);
        for (int i = 0; i < static_cast<int>(stars.size()); ++i) {
            const int k = CellOf(stars[i].x, stars[i].y);
            if (k >= 0) {
                order_[fill[k]++] = i;
            }
        }
    }

    /// Calls f(index) for every star within radius of (x, y).
    template <typename F>
    void Near(double x, double y, double radius, F f) const {
        const int cx0 = static_cast<int>(std::floor((x - radius - x0_) / cell_));
        const int cx1 = static_cast<int>(std::floor((x + radius - x0_) / cell_));
        const int cy0 = static_cast<int>(std::floor((y - radius - y0_) / cell_));
        const int cy1 = static_cast<int>(std::floor((y + radius - y0_) / cell_));
        const double r2 = radius * radius;
        for (int cy = std::max(0, cy0); cy <= std::min(rows_ - 1, cy1); ++cy) {
            for (int cx = std::max(0, cx0); cx <= std::min(columns_ - 1, cx1); ++cx) {
                const size_t k = static_cast<size_t>(cy) * columns_ + cx;
                for (int j = first_[k]; j < first_[k + 1]; ++j) {
                    const Star& s = stars_[order_[j]];
                    const double dx = s.x - x;
                    const double dy = s.y - y;
                    if (dx * dx + dy * dy <= r2) {
                        f(order_[j]);
                    }
                }
            }
        }
    }

    /// The nearest star within radius, or -1.
    int Nearest(double x, double y, double radius) const {
        int best = -1;
        double bestD2 = radius * radius;
        Near(x, y, radius, [&](int i) {
            const double dx = stars_[i].x - x;
            const double dy = stars_[i].y - y;
            const double d2 = dx * dx + dy * dy;
            if (d2 <= bestD2) {
                bestD2 = d2;
                best = i;
            }
        });
        return best;
    }

  private:
    int CellOf(double x, double y) const {
        const int cx = static_cast<int>(std::floor((x - x0_) / cell_));
        const int cy = static_cast<int>(std::floor((y - y0_) / cell_));
        if (cx < 0 || cy < 0 || cx >= columns_ || cy >= rows_) {
            return -1;
        }
        return cy * columns_ + cx;
    }

    const std::vector<Star>& stars_;
    double cell_;
    double x0_ = 0;
    double y0_ = 0;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<int> first_;
    std::vector<int> order_;
};

// A rigid motion of the plane: q = R(angle) p + (tx, ty).
struct Rigid {
    double angle = 0;
    double tx = 0;
    double ty = 0;

    Point Apply(double x, double y) const {
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        return {c * x - s * y + tx, s * x + c * y + ty};
    }
};

// The least-squares rigid motion taking the p's to the q's.
Rigid FitRigid(const std::vector<std::pair<Point, Point>>& matches) {
    double px = 0, py = 0, qx = 0, qy = 0;
    for (const auto& [p, q] : matches) {
        px += p.x;
        py += p.y;
        qx += q.x;
        qy += q.y;
    }
    const double n = static_cast<double>(matches.size());
    px /= n;
    py /= n;
    qx /= n;
    qy /= n;
    double cross = 0, dot = 0;
    for (const auto& [p, q] : matches) {
        const double ux = p.x - px, uy = p.y - py, vx = q.x - qx, vy = q.y - qy;
        cross += ux * vy - uy * vx;
        dot += ux * vx + uy * vy;
    }
    Rigid r;
    r.angle = std::atan2(cross, dot);
    const double c = std::cos(r.angle), s = std::sin(r.angle);
    r.tx = qx - (c * px - s * py);
    r.ty = qy - (s * px + c * py);
    return r;
}

// A deterministic random stream: the same frames give the same rotation.
struct Random {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
};

// Matches the stars of a to those of b (b a few frames later) without
// knowing the motion: two stars of a and candidates for them in b within
// `reach` propose a motion when their distance is kept; the motion most
// stars of a agree with wins.
bool FindMotion(const std::vector<Star>& a, const std::vector<Star>& b, const StarGrid& gridB,
                double reach, double diagonal, Rigid& motion) {
    const int na = std::min<int>(static_cast<int>(a.size()), 400);
    if (na < kMinMatches || static_cast<int>(b.size()) < kMinMatches) {
        return false;
    }
    Random random;
    int bestScore = 0;
    std::vector<int> c1, c2;
    constexpr double kTolerance = 1.5;
    auto score = [&](const Rigid& r) {
        int count = 0;
        for (int i = 0; i < na; ++i) {
            const Point p = r.Apply(a[i].x, a[i].y);
            if (gridB.Nearest(p.x, p.y, kTolerance) >= 0) {
                ++count;
            }
        }
        return count;
    };
    for (int trial = 0; trial < 300; ++trial) {
        const int i1 = static_cast<int>(random.Next() % na);
        const int i2 = static_cast<int>(random.Next() % na);
        const double ax = a[i2].x - a[i1].x, ay = a[i2].y - a[i1].y;
        const double da = std::hypot(ax, ay);
        if (i1 == i2 || da < 4 * reach) {
            continue;
        }
        c1.clear();
        c2.clear();
        gridB.Near(a[i1].x, a[i1].y, reach, [&](int j) { c1.push_back(j); });
        gridB.Near(a[i2].x, a[i2].y, reach, [&](int j) { c2.push_back(j); });
        for (int j1 : c1) {
            for (int j2 : c2) {
                const double bx = b[j2].x - b[j1].x, by = b[j2].y - b[j1].y;
                if (std::abs(std::hypot(bx, by) - da) > kTolerance) {
                    continue;
                }
                Rigid r;
                r.angle = std::atan2(ax * by - ay * bx, ax * bx + ay * by);
                // A still picture is the ground, not the sky.
                if (std::abs(r.angle) * diagonal < 0.5) {
                    continue;
                }
                const double c = std::cos(r.angle), s = std::sin(r.angle);
                r.tx = b[j1].x - (c * a[i1].x - s * a[i1].y);
                r.ty = b[j1].y - (s * a[i1].x + c * a[i1].y);
                const int sc = score(r);
                if (sc > bestScore) {
                    bestScore = sc;
                    motion = r;
                }
            }
        }
    }
    return bestScore >= kMinMatches;
}

// The stars of a matched to those of b under a predicted motion, within
// tolerance.
std::vector<std::pair<Point, Point>> Match(const std::vector<Star>& a, const std::vector<Star>& b,
                                           const StarGrid& gridB, const Rigid& motion,
                                           double tolerance) {
    std::vector<std::pair<Point, Point>> matches;
    for (const Star& s : a) {
        const Point p = motion.Apply(s.x, s.y);
        const int j = gridB.Nearest(p.x, p.y, tolerance);
        if (j >= 0) {
            matches.push_back({{s.x, s.y}, {b[j].x, b[j].y}});
        }
    }
    return matches;
}

// The rigid motion of a turn by angle about (cx, cy).
Rigid Turn(double cx, double cy, double angle) {
    Rigid r;
    r.angle = angle;
    const double c = std::cos(angle), s = std::sin(angle);
    r.tx = cx - (c * cx - s * cy);
    r.ty = cy - (s * cx + c * cy);
    return r;
}

// The fixed point of a rigid motion (none for a pure shift).
bool Centre(const Rigid& r, double& cx, double& cy) {
    const double c = std::cos(r.angle), s = std::sin(r.angle);
    const double det = (1 - c) * (1 - c) + s * s;
    if (det < 1e-18) {
        return false;
    }
    // (I - R) centre = t.
    cx = ((1 - c) * r.tx - s * r.ty) / det;
    cy = (s * r.tx + (1 - c) * r.ty) / det;
    return true;
}

struct PairMatch {
    Point p;
    Point q;
    int steps;  // frames between the two
};

// Gauss-Newton on (cx, cy, angle) over every match, dropping matches far
// off the fit; returns the matches kept.
int FitAll(std::vector<PairMatch>& matches, double& cx, double& cy, double& angle) {
    std::vector<char> keep(matches.size(), 1);
    int kept = static_cast<int>(matches.size());
    for (int round = 0; round < 4; ++round) {
        for (int iteration = 0; iteration < 8; ++iteration) {
            double h[3][3] = {};
            double g[3] = {};
            for (size_t k = 0; k < matches.size(); ++k) {
                if (!keep[k]) {
                    continue;
                }
                const PairMatch& m = matches[k];
                const double a = angle * m.steps;
                const double c = std::cos(a), s = std::sin(a);
                const double dx = m.p.x - cx, dy = m.p.y - cy;
                const double rx = c * dx - s * dy + cx - m.q.x;
                const double ry = s * dx + c * dy + cy - m.q.y;
                // Derivatives of (rx, ry) by cx, cy and angle.
                const double j[2][3] = {{1 - c, s, m.steps * (-s * dx - c * dy)},
                                        {-s, 1 - c, m.steps * (c * dx - s * dy)}};
                const double r[2] = {rx, ry};
                for (int u = 0; u < 2; ++u) {
                    for (int v = 0; v < 3; ++v) {
                        g[v] += j[u][v] * r[u];
                        for (int w = 0; w < 3; ++w) {
                            h[v][w] += j[u][v] * j[u][w];
                        }
                    }
                }
            }
            // Solve h d = -g by Cramer's rule.
            auto det3 = [](const double m[3][3]) {
                return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
            };
            const double d = det3(h);
            if (!(std::abs(d) > 0)) {
                return 0;
            }
            double step[3];
            for (int v = 0; v < 3; ++v) {
                double m[3][3];
                for (int u = 0; u < 3; ++u) {
                    for (int w = 0; w < 3; ++w) {
                        m[u][w] = w == v ? -g[u] : h[u][w];
                    }
                }
                step[v] = det3(m) / d;
            }
            cx += step[0];
            cy += step[1];
            angle += step[2];
            if (std::abs(step[0]) + std::abs(step[1]) < 1e-4) {
                break;
            }
        }
        // Drop the matches beyond three times the spread (at least half a
        // pixel): planes, noise, the ground.
        double sum2 = 0;
        int n = 0;
        std::vector<double> residual(matches.size());
        for (size_t k = 0; k < matches.size(); ++k) {
            const PairMatch& m = matches[k];
            const Rigid r = Turn(cx, cy, angle * m.steps);
            const Point p = r.Apply(m.p.x, m.p.y);
            residual[k] = std::hypot(p.x - m.q.x, p.y - m.q.y);
            if (keep[k]) {
                sum2 += residual[k] * residual[k];
                ++n;
            }
        }
        const double limit = std::max(0.5, 3 * std::sqrt(sum2 / std::max(1, n)));
        kept = 0;
        for (size_t k = 0; k < matches.size(); ++k) {
            keep[k] = residual[k] <= limit ? 1 : 0;
            kept += keep[k];
        }
        if (kept < kMinMatches) {
            return 0;
        }
    }
    return kept;
}

}  // namespace

double SkyRotation::DegreesPerFrame() const {
    return radiansPerFrame * 180.0 / kPi;
}

SkyRotation MeasureRotation(const std::vector<StarFrame>& frames, int width, int height) {
    SkyRotation result;
    if (frames.size() < 2 || width <= 0 || height <= 0) {
        return result;
    }
    const double diagonal = std::hypot(width, height);
    // A first estimate from the first two frames, whose motion is the
    // smallest: up to 2 % of the diagonal a frame is looked for.
    const StarFrame& f0 = frames[0];
    const StarFrame& f1 = frames[1];
    const int steps0 = f1.frame - f0.frame;
    if (steps0 <= 0) {
        return result;
    }
    Rigid motion;
    {
        const double reach = std::max(16.0, 0.02 * diagonal * steps0);
        const StarGrid grid(f1.stars, width, height, 16);
        if (!FindMotion(f0.stars, f1.stars, grid, reach, diagonal, motion)) {
            return result;
        }
        // Refine on every star with the motion found.
        for (double tolerance : {2.0, 1.5}) {
            const auto matches = Match(f0.stars, f1.stars, grid, motion, tolerance);
            if (static_cast<int>(matches.size()) < kMinMatches) {
                return result;
            }
            motion = FitRigid(matches);
        }
    }
    double cx = 0, cy = 0;
    if (!Centre(motion, cx, cy)) {
        return result;
    }
    double angle = motion.angle / steps0;

    // Every pair, matched under the motion predicted from the estimate.
    std::vector<PairMatch> all;
    int pairs = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        for (size_t k = i + 1; k < frames.size(); ++k) {
            const int steps = frames[k].frame - frames[i].frame;
            if (steps <= 0) {
                continue;
            }
            const StarGrid grid(frames[k].stars, width, height, 16);
            const auto matches =
                Match(frames[i].stars, frames[k].stars, grid, Turn(cx, cy, angle * steps), 3.0);
            if (static_cast<int>(matches.size()) < kMinMatches) {
                continue;
            }
            ++pairs;
            for (const auto& [p, q] : matches) {
                all.push_back({p, q, steps});
            }
        }
    }
    const int kept = FitAll(all, cx, cy, angle);
    if (kept < kMinMatches || !std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(angle)) {
        return result;
    }
    // A sky that moves its stars by less than half a pixel a frame is not
    // told from a still picture (nor does it leave gaps to fill).
    std::vector<double> moves;
    for (const PairMatch& m : all) {
        moves.push_back(std::hypot(m.q.x - m.p.x, m.q.y - m.p.y) / m.steps);
    }
    std::nth_element(moves.begin(), moves.begin() + moves.size() / 2, moves.end());
    if (moves[moves.size() / 2] < 0.5) {
        return result;
    }
    result.found = true;
    result.centreX = cx;
    result.centreY = cy;
    result.radiansPerFrame = angle;
    result.pairs = pairs;
    result.matches = kept;
    return result;
}

}  // namespace nocturo
