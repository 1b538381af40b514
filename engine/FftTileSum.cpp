// Tiled FFT level sums: overlap-save tiles shared out by band between the row workers.
#include "FftTileSum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "LevelRows.h"

namespace zelqor {

namespace {

// Tile sides and what one point of a square tile of that side costs: nanoseconds for the
// forward and inverse transform with FFTW_ESTIMATE plans on the two-core reference machine
// (bench_fast --tiles). Most sizes with 3^2 or 3^3 in them plan badly without measuring and
// are left out; past 768 a point costs about twice as much, the tile being far past the cache.
struct TileSide {
    int side;
    double nsPerPoint;
};
constexpr TileSide kTileSides[] = {
    {32, 4.2},  {64, 4.8},    {100, 6.6},   {128, 4.8},   {160, 6.4}, {200, 7.2},
    {256, 6.2}, {320, 6.8},   {384, 6.7},   {400, 7.1},   {512, 7.4}, {640, 8.4},
    {768, 7.9}, {1024, 14.4}, {1536, 18.3}, {2048, 17.6},
};
// Filling a tile, copying its middle out and handing it between threads, whatever its size:
// below 256 x 256 this outweighs the smaller margins.
constexpr double kTileOverheadNs = 30000.0;
// One transform of a whole photo, per point of its padded size (bench_fast --time ... fft):
// its passes over an image-sized buffer wait on memory.
constexpr double kWholeNsPerPoint = 25.0;

// The sides one axis of `length` pixels may take with a kernel reaching `reach`: long enough
// for one exact sum per tile, and no longer than the first that covers the axis at once.
struct AxisChoice {
    int side;
    int tiles;
    double nsPerPoint;
};
std::vector<AxisChoice> AxisChoices(int length, int reach) {
    std::vector<AxisChoice> choices;
    for (const TileSide& t : kTileSides) {
        const int valid = t.side - 2 * reach;
        if (valid < 1) {
            continue;
        }
        choices.push_back({t.side, (length + valid - 1) / valid, t.nsPerPoint});
        if (valid >= length) {
            break;
        }
    }
    return choices;
}

struct FftwFree {
    void operator()(double* p) const { fftw_free(p); }
};
using FftwBuffer = std::unique_ptr<double, FftwFree>;

// Each thread keeps one tile buffer, as it keeps its row buffers.
double* ThreadTileBuffer(std::size_t doubles) {
    thread_local FftwBuffer buffer;
    thread_local std::size_t size = 0;
    if (size < doubles) {
        buffer.reset();
        size = 0;
        buffer.reset(fftw_alloc_real(doubles));
        if (!buffer) {
            throw std::bad_alloc();
        }
        size = doubles;
    }
    return buffer.get();
}

}  // namespace

FftTileShape ChooseFftTiles(const LevelKernel& kernel, int width, int height, int side) {
    const int rx = kernel.ReachX();
    const int ry = kernel.ReachY();
    if (width <= 0 || height <= 0) {
        return {};
    }
    if (side > 0) {
        const auto fit = [](int wanted, int reach) {
            const int least = 2 * reach + 2;
            return std::max(wanted + (wanted & 1), least);
        };
        return {fit(side, rx), fit(side, ry)};
    }
    FftTileShape best;
    double bestCost = 0;
    for (const AxisChoice& x : AxisChoices(width, rx)) {
        for (const AxisChoice& y : AxisChoices(height, ry)) {
            const double cost =
                static_cast<double>(x.tiles) * y.tiles *
                (x.side * y.side * std::sqrt(x.nsPerPoint * y.nsPerPoint) + kTileOverheadNs);
            if (best.width == 0 || cost < bestCost) {
                best = {x.side, y.side};
                bestCost = cost;
            }
        }
    }
    const double whole = kWholeNsPerPoint * FftSmoothSize(width + rx) * FftSmoothSize(height + ry);
    return best.width != 0 && bestCost < whole ? best : FftTileShape{};
}

struct FftTileSum::Band {
    enum class State { Empty, Computing, Ready, Failed };

    std::mutex mutex;
    std::condition_variable done;
    State state = State::Empty;
    int nextTile = 0;
    int tilesDone = 0;
    bool tileFailed = false;
    int readers = 0;
    int rowsServed = 0;
    HugeBuffer<double> values;  // bandRows_ x width_
};

FftTileSum::FftTileSum(const LevelKernel& kernel,
                       const WorkingBitmap& src,
                       bool luminance,
                       bool avx2,
                       FftTileShape shape)
    : FftTileSum(kernel, src, luminance, avx2, shape, Rect{0, 0, src.Width(), src.Height()}) {}

FftTileSum::FftTileSum(const LevelKernel& kernel,
                       const WorkingBitmap& src,
                       bool luminance,
                       bool avx2,
                       FftTileShape shape,
                       const Rect& area)
    : kernel_(kernel),
      src_(src),
      luminance_(luminance),
      avx2_(avx2),
      shape_(shape),
      imageWidth_(src.Width()),
      imageHeight_(src.Height()),
      left_(area.left),
      top_(area.top),
      width_(area.Width()),
      height_(area.Height()),
      bandRows_(shape.height - 2 * kernel.ReachY()),
      tileColumns_(shape.width - 2 * kernel.ReachX()),
      tilesPerBand_((width_ + tileColumns_ - 1) / tileColumns_) {
    const int bands = (height_ + bandRows_ - 1) / bandRows_;
    bands_.reserve(static_cast<std::size_t>(bands));
    for (int i = 0; i < bands; ++i) {
        bands_.push_back(std::make_unique<Band>());
    }
}

FftTileSum::~FftTileSum() = default;

void FftTileSum::Prepare() {
    if (Ready()) {
        return;
    }
    const int nx = shape_.width;
    const int ny = shape_.height;
    // Planned on a buffer of the threads' size and alignment; the tiles run through the
    // new-array interface on each thread's own buffer.
    const FftwBuffer planning(fftw_alloc_real(static_cast<std::size_t>(ny) * (nx + 2)));
    if (!planning) {
        return;
    }
    double* data = planning.get();
    auto* spectrum = reinterpret_cast<fftw_complex*>(data);
    {
        auto lock = LockFftPlanner();
        fftw_plan_with_nthreads(1);
        forward_ = plans_.Add(fftw_plan_dft_r2c_2d(ny, nx, data, spectrum, FFTW_ESTIMATE));
        inverse_ = plans_.Add(fftw_plan_dft_c2r_2d(ny, nx, spectrum, data, FFTW_ESTIMATE));
    }
    if (plans_.Complete()) {
        spectrum_ = FftKernelSpectrum(kernel_, nx, ny);
    }
}

std::int64_t FftTileSum::Offset() const {
    return LevelCentre(luminance_);
}

std::size_t FftTileSum::ScratchBytes() const {
    const std::size_t spectrum =
        (static_cast<std::size_t>(shape_.width) / 2 + 1) * (shape_.height / 2 + 1);
    const std::size_t band = static_cast<std::size_t>(bandRows_) * width_;
    return (spectrum + 2 * band) * sizeof(double);
}

HugeBuffer<double> FftTileSum::TakeValues() {
    {
        const std::lock_guard<std::mutex> lock(spareMutex_);
        if (!spare_.empty()) {
            HugeBuffer<double> values = std::move(spare_.back());
            spare_.pop_back();
            return values;
        }
    }
    // Not cleared: the band's tiles write every value. On huge pages, as a fresh band is
    // megabytes that would otherwise be faulted in page by page.
    return MakeHugeBuffer<double>(static_cast<std::size_t>(bandRows_) *
                                  static_cast<std::size_t>(width_));
}

void FftTileSum::GiveBackValues(HugeBuffer<double> values) {
    if (values) {
        const std::lock_guard<std::mutex> lock(spareMutex_);
        spare_.push_back(std::move(values));
    }
}

void FftTileSum::ComputeTile(int band, int tile, double* values) const {
    const int nx = shape_.width;
    const int ny = shape_.height;
    const int rx = kernel_.ReachX();
    const int ry = kernel_.ReachY();
    const int rowLength = 2 * (nx / 2 + 1);
    double* data = ThreadTileBuffer(static_cast<std::size_t>(ny) * rowLength);

    const int left = left_ + tile * tileColumns_ - rx;
    const int top = top_ + band * bandRows_ - ry;
    const int from = std::max(0, left);
    const int to = std::min(imageWidth_, left + nx);
    for (int j = 0; j < ny; ++j) {
        double* row = data + static_cast<std::size_t>(j) * rowLength;
        const int y = top + j;
        if (y < 0 || y >= imageHeight_ || from >= to) {
            std::fill(row, row + nx, 0.0);
            continue;
        }
        std::fill(row, row + (from - left), 0.0);
        FillLevelValues(src_.RowWords(y) + from, to - from, luminance_, avx2_, row + (from - left));
        std::fill(row + (to - left), row + nx, 0.0);
    }

    auto* spectrum = reinterpret_cast<fftw_complex*>(data);
    fftw_execute_dft_r2c(static_cast<fftw_plan>(forward_), data, spectrum);
    const int nxq = nx / 2 + 1;
    for (int v = 0; v < ny; ++v) {
        const double* k = spectrum_->data() + static_cast<std::size_t>(std::min(v, ny - v)) * nxq;
        fftw_complex* c = spectrum + static_cast<std::size_t>(v) * nxq;
        for (int u = 0; u < nxq; ++u) {
            c[u][0] *= k[u];
            c[u][1] *= k[u];
        }
    }
    fftw_execute_dft_c2r(static_cast<fftw_plan>(inverse_), spectrum, data);

    // Only the middle escaped the wrap-around of the circular convolution.
    const int firstRow = band * bandRows_;
    const int rows = std::min(bandRows_, height_ - firstRow);
    const int firstColumn = tile * tileColumns_;
    const int columns = std::min(tileColumns_, width_ - firstColumn);
    for (int j = 0; j < rows; ++j) {
        const double* in = data + static_cast<std::size_t>(j + ry) * rowLength + rx;
        std::copy(in, in + columns, values + static_cast<std::size_t>(j) * width_ + firstColumn);
    }
}

bool FftTileSum::RoundedRow(int y, double tolerance, std::int64_t* out) {
    if (!Ready() || y < top_ || y >= top_ + height_) {
        return false;
    }
    const int index = (y - top_) / bandRows_;
    Band& band = *bands_[static_cast<std::size_t>(index)];
    const int rowsInBand = std::min(bandRows_, height_ - index * bandRows_);
    std::unique_lock<std::mutex> lock(band.mutex);
    if (band.state == Band::State::Empty) {
        lock.unlock();
        HugeBuffer<double> values;
        try {
            values = TakeValues();
        } catch (const std::bad_alloc&) {
            // Without room for the band its rows are summed directly, slower but exact.
            return false;
        }
        lock.lock();
        if (band.state == Band::State::Empty) {
            band.values = std::move(values);
            band.state = Band::State::Computing;
            band.nextTile = 0;
            band.tilesDone = 0;
            band.tileFailed = false;
            band.rowsServed = 0;
        } else {
            GiveBackValues(std::move(values));
        }
    }
    while (band.state == Band::State::Computing && band.nextTile < tilesPerBand_) {
        const int tile = band.nextTile++;
        lock.unlock();
        bool computed = true;
        try {
            ComputeTile(index, tile, band.values.get());
        } catch (const std::bad_alloc&) {
            computed = false;
        }
        lock.lock();
        band.tileFailed = band.tileFailed || !computed;
        if (++band.tilesDone == tilesPerBand_) {
            band.state = band.tileFailed ? Band::State::Failed : Band::State::Ready;
            band.done.notify_all();
        }
    }
    // Whoever claimed the band's last tiles is computing them; the wait is one tile at most.
    band.done.wait(lock, [&band] { return band.state != Band::State::Computing; });
    const bool ready = band.state == Band::State::Ready;
    ++band.readers;
    lock.unlock();
    const bool trusted =
        ready && RoundLevelSums(band.values.get() +
                                    static_cast<std::size_t>(y - top_ - index * bandRows_) * width_,
                                width_, tolerance, avx2_, out);
    lock.lock();
    --band.readers;
    if (++band.rowsServed >= rowsInBand && band.readers == 0) {
        GiveBackValues(std::move(band.values));
        band.state = Band::State::Empty;
    }
    return trusted;
}

}  // namespace zelqor
