// The OpenStreetMap reader against osmium-tool on one generated PBF file:
//
//   korvel_osm_bench [--nodes N] [--cameras C] [--rounds R] [--work DIR] [--no-metadata]
//
// makes a PBF of N nodes (default 10,000,000) over Korea, C of them (default
// 10,000) speed cameras and one in a hundred of those the device of an
// enforcement relation, with version, timestamp and changeset as public
// extracts carry them (or none), then runs alternately, R times each (default 5):
//
//   korvel   ReadOsmCameras on the file, counting what it hands over
//   osmium   osmium tags-filter FILE n/highway=speed_camera -o out.pbf
//
// and prints each job's median wall and processor time (user + system), the
// ratio of korvel's to osmium's, and each job's peak resident memory. Every job
// runs in a child process of its own, so the peak is the job's alone; the
// parent starts no thread before it forks.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <osmium/builder/attr.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/writer.hpp>

#include "exchange/formats/osm_reader.h"
#include "platform/real_file_system.h"

namespace {

namespace fs = std::filesystem;

struct Run {
  double wall = 0, cpu = 0;  // seconds
  long peak_kib = 0;
};

// Runs `job` in a child process; its times and peak memory. Exits on failure.
Run InChild(const std::function<int()>& job) {
  const auto start = std::chrono::steady_clock::now();
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) std::exit(2);
  if (pid == 0) {
    const int status = job();
    std::fflush(stdout);
    _exit(status);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Run run;
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.peak_kib = usage.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "korvel_osm_bench: a job failed (status %d)\n", status);
    std::exit(2);
  }
  return run;
}

int MakePbf(const std::string& path, long nodes, long cameras, bool metadata) {
  namespace a = osmium::builder::attr;
  osmium::io::Header header;
  header.set("generator", "korvel_osm_bench");
  osmium::io::Writer writer(osmium::io::File(path, metadata ? "pbf" : "pbf,add_metadata=false"),
                            header, osmium::io::overwrite::allow);
  constexpr std::size_t kBufferSize = 1 << 20;
  osmium::memory::Buffer buffer(kBufferSize, osmium::memory::Buffer::auto_grow::yes);
  const auto flush = [&](bool always) {
    if (always || buffer.committed() > kBufferSize * 9 / 10) {
      writer(std::move(buffer));
      buffer = osmium::memory::Buffer(kBufferSize, osmium::memory::Buffer::auto_grow::yes);
    }
  };
  const long every = nodes / cameras;
  const char* speeds[] = {"30", "50", "60", "80", "100", "40 mph", "signals"};
  const char* directions[] = {"90", "NE", "270", "0-90"};
  std::vector<long> devices;
  std::mt19937 random(18);
  double lon = 127.0, lat = 37.0;
  for (long id = 1; id <= nodes; ++id) {
    // A random walk, with a jump now and then, as ways and areas give real
    // extracts: neighbouring ids lie near each other, up to some 20 metres
    // apart.
    const std::uint32_t stamp = 1500000000 + random() % 200000000;
    const long changeset = 1 + random() % 100000000;
    if (random() % 200 == 0) {
      lon = 126.0 + random() % 3000000 * 1e-6;
      lat = 34.0 + random() % 4000000 * 1e-6;
    } else {
      lon += (static_cast<long>(random() % 4001) - 2000) * 1e-7;
      lat += (static_cast<long>(random() % 4001) - 2000) * 1e-7;
    }
    if (id % every == 0) {
      const long n = id / every;
      if (n % 100 == 0) {
        devices.push_back(id);
        a::_tag speed("maxspeed", speeds[n % 7]);
        osmium::builder::add_node(buffer, a::_id(id), a::_version(1), a::_timestamp(stamp),
                                  a::_cid(changeset), a::_location(lon, lat),
                                  a::_tag("highway", "speed_camera"), speed);
      } else {
        osmium::builder::add_node(
            buffer, a::_id(id), a::_version(1), a::_timestamp(stamp), a::_cid(changeset),
            a::_location(lon, lat), a::_tag("highway", "speed_camera"),
            a::_tag("maxspeed", speeds[n % 7]), a::_tag("direction", directions[n % 4]));
      }
    } else if (id % 97 == 0) {
      osmium::builder::add_node(buffer, a::_id(id), a::_version(1), a::_timestamp(stamp),
                                a::_cid(changeset), a::_location(lon, lat),
                                a::_tag("highway", "crossing"));
    } else {
      osmium::builder::add_node(buffer, a::_id(id), a::_version(1), a::_timestamp(stamp),
                                a::_cid(changeset), a::_location(lon, lat));
    }
    flush(false);
  }
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const std::uint32_t stamp = 1700000000;
    const long changeset = 100000000;
    osmium::builder::add_relation(buffer, a::_id(static_cast<long>(i) + 1), a::_version(1),
                                  a::_timestamp(stamp), a::_cid(changeset),
                                  a::_member(osmium::item_type::node, devices[i], "device"),
                                  a::_member(osmium::item_type::node, devices[i] - 1, "from"),
                                  a::_tag("type", "enforcement"));
  }
  flush(true);
  writer.close();
  return 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  long nodes = 10'000'000, cameras = 10'000, rounds = 5;
  std::string work;
  bool metadata = true;
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--no-metadata") {
      metadata = false;
      --i;
      continue;
    }
    if (i + 1 == argc) return 2;
    if (option == "--nodes")
      nodes = std::atol(argv[i + 1]);
    else if (option == "--cameras")
      cameras = std::atol(argv[i + 1]);
    else if (option == "--rounds")
      rounds = std::atol(argv[i + 1]);
    else if (option == "--work")
      work = argv[i + 1];
    else {
      std::fprintf(stderr, "korvel_osm_bench: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (nodes <= 0 || cameras <= 0 || cameras > nodes || rounds <= 0) return 2;
  const bool own_work = work.empty();
  if (own_work) {
    std::string name = (fs::temp_directory_path() / "korvel-osm-bench-XXXXXX").string();
    if (!mkdtemp(name.data())) return 2;
    work = name;
  }
  const std::string pbf = work + "/nodes.osm.pbf", out = work + "/cameras.osm.pbf";

  const Run made = InChild([&] { return MakePbf(pbf, nodes, cameras, metadata); });
  std::printf("made %s: %ld nodes, %ld cameras, %.0f MiB, in %.1f s\n", pbf.c_str(), nodes, cameras,
              fs::file_size(pbf) / 1048576.0, made.wall);

  std::vector<double> wall[2], cpu[2];
  long peak[2] = {0, 0};
  for (long round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      // Both jobs take turns at going first.
      const int job = (turn + round) % 2;
      const Run run = InChild([&]() -> int {
        if (job == 1) {
          execlp("osmium", "osmium", "tags-filter", "--no-progress", "-O", pbf.c_str(),
                 "n/highway=speed_camera", "-o", out.c_str(), nullptr);
          return 127;
        }
        long seen = 0, problems = 0;
        korvel::Problem failure;
        korvel::RealFileSystem fs;
        korvel::SourceFile source(fs, pbf);
        const bool ok = korvel::ReadOsmCameras(
            source, [&](const korvel::OsmCamera&) { ++seen; },
            [&](const korvel::OsmProblem&) { ++problems; }, failure);
        if (!ok || seen != cameras) {
          std::fprintf(stderr, "korvel: %s, %ld cameras\n",
                       korvel::FailureText(failure).c_str(), seen);
          return 1;
        }
        if (round == 0) std::printf("korvel: %ld cameras, %ld problems\n", seen, problems);
        return 0;
      });
      wall[job].push_back(run.wall);
      cpu[job].push_back(run.cpu);
      peak[job] = std::max(peak[job], run.peak_kib);
    }
  }
  std::printf("%-8s %10s %8s %10s %8s %10s\n", "job", "wall s", "ratio", "cpu s", "ratio",
              "peak MiB");
  const char* names[] = {"korvel", "osmium"};
  for (int job = 0; job < 2; ++job) {
    std::printf("%-8s %10.2f %8.2f %10.2f %8.2f %10.1f\n", names[job], Median(wall[job]),
                Median(wall[job]) / Median(wall[1]), Median(cpu[job]),
                Median(cpu[job]) / Median(cpu[1]), peak[job] / 1024.0);
  }
  if (own_work) fs::remove_all(work);
  return 0;
}
