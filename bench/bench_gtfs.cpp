// Reading a large timetable feed: how fast stop_times.txt streams through the
// route's stop list, beside what merely reading the same file costs, and how
// much memory the reading takes at its peak.
//
//   bench_gtfs [--delfi] [MB] [folder]
//
// generates a feed whose stop_times.txt has about MB megabytes (default 100,
// well under a minute; 1024 for the gigabyte of a national feed) in a
// temporary folder, or in `folder` if given (kept then). With --delfi the
// feed has the shape of Germany's national feed (DELFI): 300 000 stops with
// ids such as "de:08111:6115:1:2", ten-digit trip ids, 8000 routes with ids
// such as "26036_700", trips of 20 stops, eight columns in stop_times.txt;
// without it, short ids, 20 000 stops and 400 routes. It measures, each
// in a child process of its own so that its peak memory (ru_maxrss) is its
// own:
//   - wc -l on stop_times.txt, the floor of a tool that only counts lines;
//   - reading the file through the feed without looking at it, the floor of
//     reading at all;
//   - --linie for one route (50 trips of 30 stops among all the others);
//   - the same with --zusatz-ausgabe: the lines at each of its stops, a
//     second pass over the feed;
//   - --linien, every route's stop lists.

#include <feed.h>
#include <gtfs.h>
#include <interchange.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The feed's shape: how many of each, and how its ids look.
struct Shape {
    int routes = 400;
    int stopsPerTrip = 30;
    int stops = 20000;
    bool delfi = false;

    std::string stopId(int stop) const
    {
        if (!delfi)
            return std::string("S").append(std::to_string(stop));
        // District, station, area, platform, as the German stop register
        // (DHID) numbers them.
        char id[40];
        std::snprintf(id, sizeof id, "de:%05d:%d:%d:%d", 1000 + stop / 40 % 9000, 100 + stop / 4, stop % 4 / 2 + 1,
                      stop % 2 + 1);
        return id;
    }
    std::string routeId(int route) const
    {
        return delfi ? std::to_string(20000 + route * 3).append("_700") : std::string("R").append(std::to_string(route));
    }
    std::string tripId(std::uint64_t trip) const
    {
        return delfi ? std::to_string(1000000000ull + trip * 7919 % 8999999999ull)
                     : std::string("T").append(std::to_string(trip));
    }
};

bool writeFile(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

// Route r's trips run stops r*7 + k*13 (mod stops); every trip of route 0 is
// line "7". Trips go round the routes, so one route's rows are spread over
// the whole file, as in a feed sorted by trip.
bool generate(const std::string& folder, std::uint64_t bytes, const Shape& shape)
{
    std::string routes = "route_id,agency_id,route_short_name,route_long_name,route_type\n";
    for (int r = 0; r < shape.routes; ++r)
        routes.append(shape.routeId(r)).append(",A,").append(r == 0 ? std::string("7") : std::to_string(100 + r))
            .append(",Linie ").append(std::to_string(r)).append(",3\n");
    std::string stops = "stop_id,stop_name,stop_lat,stop_lon\n";
    for (int s = 0; s < shape.stops; ++s)
        stops.append(shape.stopId(s)).append(",Haltestelle ").append(std::to_string(s)).append(",50.0,8.0\n");
    if (!writeFile(folder + "/agency.txt", "agency_id,agency_name\nA,Verkehrsverbund\n")
        || !writeFile(folder + "/routes.txt", routes) || !writeFile(folder + "/stops.txt", stops))
        return false;

    std::FILE* trips = std::fopen((folder + "/trips.txt").c_str(), "wb");
    std::FILE* times = std::fopen((folder + "/stop_times.txt").c_str(), "wb");
    if (!trips || !times)
        return false;
    std::fputs("route_id,service_id,trip_id,direction_id,trip_headsign\n", trips);
    std::fputs(shape.delfi ? "trip_id,arrival_time,departure_time,stop_id,stop_sequence,pickup_type,drop_off_type,"
                             "stop_headsign\n"
                           : "trip_id,arrival_time,departure_time,stop_id,stop_sequence,pickup_type\n",
               times);
    std::vector<std::string> stopIds;
    for (int s = 0; s < shape.stops; ++s)
        stopIds.push_back(shape.stopId(s));
    std::uint64_t written = 0;
    char row[160];
    for (std::uint64_t trip = 0; written < bytes; ++trip) {
        const int route = int(trip % std::uint64_t(shape.routes));
        const int direction = int(trip / std::uint64_t(shape.routes) % 2);
        const std::string tripId = shape.tripId(trip);
        std::fprintf(trips, "%s,W,%s,%d,Ziel %d\n", shape.routeId(route).c_str(), tripId.c_str(), direction, route);
        for (int k = 0; k < shape.stopsPerTrip; ++k) {
            const int position = direction == 0 ? k : shape.stopsPerTrip - 1 - k;
            const int stop = (route * 7 + position * 13) % shape.stops;
            const int minute = int(trip % 1000) + k * 2;
            const int length = std::snprintf(row, sizeof row, "%s,%02d:%02d:00,%02d:%02d:30,%s,%d,0%s\n",
                                             tripId.c_str(), 5 + minute / 60 % 20, minute % 60, 5 + minute / 60 % 20,
                                             minute % 60, stopIds[std::size_t(stop)].c_str(),
                                             shape.delfi ? k : k * 10 + 1, shape.delfi ? ",0," : "");
            std::fwrite(row, 1, std::size_t(length), times);
            written += std::uint64_t(length);
        }
    }
    return std::fclose(trips) == 0 && std::fclose(times) == 0;
}

struct Measure {
    double seconds = 0;
    double cpuSeconds = 0; // user and system: what other work on the machine changes least
    long peakKiB = 0;
    bool ok = false;
};

// Runs `work` in a child; its wall time and peak resident memory.
Measure onceInChild(const std::function<bool()>& work)
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
    const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    measure.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return measure;
}

// The best of three runs: on a machine shared with other work a single run
// of wc -l varies by half, and so would every ratio to it.
Measure inChild(const std::function<bool()>& work)
{
    Measure best = onceInChild(work);
    for (int run = 1; run < 3; ++run) {
        const Measure measure = onceInChild(work);
        best.seconds = std::min(best.seconds, measure.seconds);
        best.cpuSeconds = std::min(best.cpuSeconds, measure.cpuSeconds);
        best.peakKiB = std::max(best.peakKiB, measure.peakKiB);
        best.ok = best.ok && measure.ok;
    }
    return best;
}

// One line: wall time, rate, CPU time, peak memory, and both times as a
// ratio to those of wc -l.
void report(const char* what, const Measure& measure, double megabytes, const Measure* floor)
{
    std::printf("%-32s %6.2f s %6.0f MB/s  cpu %5.2f s %7.1f MiB peak%s", what, measure.seconds,
                megabytes / measure.seconds, measure.cpuSeconds, double(measure.peakKiB) / 1024,
                measure.ok ? "" : "  FAILED");
    if (floor)
        std::printf("  %.2fx wc -l (cpu %.2fx)", measure.seconds / floor->seconds,
                    measure.cpuSeconds / std::max(floor->cpuSeconds, 1e-3));
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    Shape shape;
    if (argc > 1 && std::string(argv[1]) == "--delfi") {
        shape = Shape{8000, 20, 300000, true};
        --argc;
        ++argv;
    }
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    QTemporaryDir temporary;
    const std::string folder = argc > 2 ? std::string(argv[2]) : temporary.path().toStdString();
    mkdir(folder.c_str(), 0755);
    const auto start = std::chrono::steady_clock::now();
    if (!generate(folder, megabytes << 20, shape)) {
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
    report("wc -l", lines, size, nullptr);
    report("reading the file, nothing else", inChild([&] {
               auto feed = transit::Feed::open(folder);
               auto file = feed->openFile("stop_times.txt");
               static char buffer[1 << 18];
               while (file->read(buffer, sizeof buffer) > 0) {
               }
               return true;
           }),
           size, &lines);
    report("--linie 7 (one route)", inChild([&] {
               auto feed = transit::Feed::open(folder);
               const transit::Route route = transit::readRoute(*feed, "7");
               return route.directions.size() == 2
                      && route.directions[0].stops.size() == std::size_t(shape.stopsPerTrip);
           }),
           size, &lines);
    // The same and the lines at each of its stops, as --zusatz-ausgabe
    // reads them: a second pass over the feed.
    report("--linie 7 --zusatz-ausgabe", inChild([&] {
               auto feed = transit::Feed::open(folder);
               const transit::Route route = transit::readRoute(*feed, "7");
               const transit::Direction& direction = route.directions.at(0);
               const auto calling = transit::callingLines(*feed, route, direction.stopIds, direction.stations);
               std::size_t said = 0;
               for (const auto& lines : calling)
                   said += transit::interchangeText(lines).empty() ? 0 : 1;
               return said > 0;
           }),
           size, &lines);
    report("--linien (every route)", inChild([&] {
               auto feed = transit::Feed::open(folder);
               return transit::listRoutes(*feed).size() == std::size_t(shape.routes);
           }),
           size, &lines);
    return 0;
}
