#include "core/exif_times.h"

#include <libexif/exif-data.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace nocturo {

namespace {

struct ExifDataFree {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar.
long DaysFromCivil(long y, long m, long d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

ExifEntry* Find(ExifData* data, ExifTag tag) {
    for (ExifIfd ifd : {EXIF_IFD_EXIF, EXIF_IFD_0}) {
        if (ExifEntry* e = exif_content_get_entry(data->ifd[ifd], tag)) {
            return e;
        }
    }
    return nullptr;
}

// The ASCII text of an entry, within its own size.
std::string Text(const ExifEntry* e) {
    if (e == nullptr || e->format != EXIF_FORMAT_ASCII || e->data == nullptr) {
        return {};
    }
    const char* p = reinterpret_cast<const char*>(e->data);
    return std::string(p, strnlen(p, e->size));
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

std::optional<ShotTime> ReadShotTime(const std::string& fileName) {
    // Only a regular file: reading a pipe or a device could wait forever.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    std::unique_ptr<ExifData, ExifDataFree> data(exif_data_new_from_file(fileName.c_str()));
    if (!data) {
        return std::nullopt;
    }
    ShotTime shot;
    const ExifEntry* exposure = Find(data.get(), EXIF_TAG_EXPOSURE_TIME);
    if (exposure == nullptr || exposure->format != EXIF_FORMAT_RATIONAL ||
        exposure->components < 1 || exposure->size < 8) {
        return std::nullopt;
    }
    const ExifRational r = exif_get_rational(exposure->data, exif_data_get_byte_order(data.get()));
    if (r.denominator == 0 || r.numerator == 0) {
        return std::nullopt;
    }
    shot.exposure = static_cast<double>(r.numerator) / r.denominator;

    const std::string when = Text(Find(data.get(), EXIF_TAG_DATE_TIME_ORIGINAL));
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(when.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &year, &month, &day, &hour, &minute,
                    &second) != 6 ||
        month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    shot.taken = static_cast<double>(DaysFromCivil(year, month, day)) * 86400.0 + hour * 3600.0 +
                 minute * 60.0 + second;
    const std::string sub = Text(Find(data.get(), EXIF_TAG_SUB_SEC_TIME_ORIGINAL));
    double scale = 0.1;
    for (char c : sub) {
        if (c < '0' || c > '9') {
            break;
        }
        shot.taken += (c - '0') * scale;
        scale /= 10;
    }
    return shot;
}

std::optional<double> GapFraction(const std::vector<ShotTime>& shots) {
    std::vector<double> intervals;
    std::vector<double> exposures;
    for (size_t k = 0; k < shots.size(); ++k) {
        exposures.push_back(shots[k].exposure);
        if (k > 0 && shots[k].taken > shots[k - 1].taken) {
            intervals.push_back(shots[k].taken - shots[k - 1].taken);
        }
    }
    if (shots.size() < 2 || intervals.empty()) {
        return std::nullopt;
    }
    const double gap = 1 - Median(exposures) / Median(intervals);
    return std::clamp(gap, 0.0, kMaxGapFraction);
}

}  // namespace nocturo
