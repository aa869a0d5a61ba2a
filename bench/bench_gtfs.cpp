// Reading a large timetable feed: how fast stop_times.txt streams through the
// route's stop list, beside what merely reading the same file costs, and how
// much memory the reading takes at its peak.
//
//   bench_gtfs [MB] [folder]
//
// generates a feed whose stop_times.txt has about MB megabytes (default 100,
// well under a minute; 1024 for the gigabyte of a national feed) in a
// temporary folder, or in `folder` if given (kept then), and measures, each
// in a child process of its own so that its peak memory (ru_maxrss) is its
// own:
//   - wc -l on stop_times.txt, the floor of a tool that only counts lines;
//   - reading the file through the feed without looking at it, the floor of
//     reading at all;
//   - --linie for one route (50 trips of 30 stops among all the others);
//   - --linien, every route's stop lists.

#include <feed.h>
#include <gtfs.h>

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Routes = 400;
constexpr int StopsPerTrip = 30;
constexpr int Stops = 20000;

bool writeFile(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

// Route r's trips run stops r*7 + k*13 (mod Stops); every trip of route 0 is
// line "7". Trips go round the routes, so one route's rows are spread over
// the whole file, as in a feed sorted by trip.
bool generate(const std::string& folder, std::uint64_t bytes)
{
    std::string routes = "route_id,agency_id,route_short_name,route_long_name,route_type\n";
    for (int r = 0; r < Routes; ++r)
        routes.append("R").append(std::to_string(r)).append(",A,").append(r == 0 ? std::string("7") : std::to_string(100 + r))
            .append(",Linie ").append(std::to_string(r)).append(",3\n");
    std::string stops = "stop_id,stop_name,stop_lat,stop_lon\n";
    for (int s = 0; s < Stops; ++s)
        stops.append("S").append(std::to_string(s)).append(",Haltestelle ").append(std::to_string(s)).append(",50.0,8.0\n");
    if (!writeFile(folder + "/agency.txt", "agency_id,agency_name\nA,Verkehrsverbund\n")
        || !writeFile(folder + "/routes.txt", routes) || !writeFile(folder + "/stops.txt", stops))
        return false;

    std::FILE* trips = std::fopen((folder + "/trips.txt").c_str(), "wb");
    std::FILE* times = std::fopen((folder + "/stop_times.txt").c_str(), "wb");
    if (!trips || !times)
        return false;
    std::fputs("route_id,service_id,trip_id,direction_id,trip_headsign\n", trips);
    std::fputs("trip_id,arrival_time,departure_time,stop_id,stop_sequence,pickup_type\n", times);
    std::uint64_t written = 0;
    char row[128];
    for (std::uint64_t trip = 0; written < bytes; ++trip) {
        const int route = int(trip % Routes);
        const int direction = int(trip / Routes % 2);
        std::fprintf(trips, "R%d,W,T%llu,%d,Ziel %d\n", route, static_cast<unsigned long long>(trip), direction, route);
        for (int k = 0; k < StopsPerTrip; ++k) {
            const int position = direction == 0 ? k : StopsPerTrip - 1 - k;
            const int stop = (route * 7 + position * 13) % Stops;
            const int minute = int(trip % 1000) + k * 2;
            const int length = std::snprintf(row, sizeof row, "T%llu,%02d:%02d:00,%02d:%02d:30,S%d,%d,0\n",
                                             static_cast<unsigned long long>(trip), 5 + minute / 60 % 20, minute % 60,
                                             5 + minute / 60 % 20, minute % 60, stop, k * 10 + 1);
            std::fwrite(row, 1, std::size_t(length), times);
            written += std::uint64_t(length);
        }
    }
    return std::fclose(trips) == 0 && std::fclose(times) == 0;
}

struct Measure {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

// Runs `work` in a child; its wall time and peak resident memory.
Measure inChild(const std::function<bool()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0)
        _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Measure measure;
    measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.peakKiB = usage.ru_maxrss;
    measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return measure;
}

void report(const char* what, const Measure& measure, double megabytes, double floorSeconds)
{
    std::printf("%-34s %7.2f s %8.0f MB/s %7.1f MiB peak%s", what, measure.seconds, megabytes / measure.seconds,
                double(measure.peakKiB) / 1024, measure.ok ? "" : "  FAILED");
    if (floorSeconds > 0)
        std::printf("  %.2fx wc -l", measure.seconds / floorSeconds);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    QTemporaryDir temporary;
    const std::string folder = argc > 2 ? std::string(argv[2]) : temporary.path().toStdString();
    mkdir(folder.c_str(), 0755);
    const auto start = std::chrono::steady_clock::now();
    if (!generate(folder, megabytes << 20)) {
        std::fprintf(stderr, "bench_gtfs: the feed cannot be written to %s\n", folder.c_str());
        return 1;
    }
    struct stat status {};
    stat((folder + "/stop_times.txt").c_str(), &status);
    const double size = double(status.st_size) / 1e6;
    std::printf("stop_times.txt: %.0f MB, generated in %.1f s, in %s\n", size,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), folder.c_str());

    const std::string wc = "wc -l < '" + folder + "/stop_times.txt' > /dev/null";
    // Once to bring the file into the page cache, so that every run reads
    // it from memory alike.
    if (std::system(wc.c_str()) != 0)
        return 1;
    const Measure lines = inChild([&] { return std::system(wc.c_str()) == 0; });
    report("wc -l", lines, size, 0);
    report("reading the file, nothing else", inChild([&] {
               auto feed = transit::Feed::open(folder);
               auto file = feed->openFile("stop_times.txt");
               static char buffer[1 << 18];
               while (file->read(buffer, sizeof buffer) > 0) {
               }
               return true;
           }),
           size, lines.seconds);
    report("--linie 7 (one route)", inChild([&] {
               auto feed = transit::Feed::open(folder);
               const transit::Route route = transit::readRoute(*feed, "7");
               return route.directions.size() == 2 && route.directions[0].stops.size() == StopsPerTrip;
           }),
           size, lines.seconds);
    report("--linien (every route)", inChild([&] {
               auto feed = transit::Feed::open(folder);
               return transit::listRoutes(*feed).size() == Routes;
           }),
           size, lines.seconds);
    return 0;
}
