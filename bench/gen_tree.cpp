// Writes a seeded synthetic tree for the walk benchmark: many small
// directories, mixed extensions, deep chains and some dot files.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kExts[] = {".gif", ".GIF", ".jpg",  ".png",    ".txt", ".html", ".c",    ".h",
                             ".o",   ".md",  ".json", ".tar.gz", "",     ".bmp",  ".Jpeg", ".log"};
const double kExtWeights[] = {4, 1, 6, 8, 10, 6, 12, 10, 8, 4, 5, 1, 6, 2, 1, 6};

std::string Word(std::mt19937_64& rng) {
    static const char* kSyl[] = {"ka", "to", "ri", "mo", "na", "shi", "ze", "pu", "lo", "van", "ix", "ed"};
    std::uniform_int_distribution<int> n(1, 4), s(0, 11);
    std::string w;
    for (int i = n(rng); i > 0; --i)
        w += kSyl[s(rng)];
    return w;
}

void MakeDir(const std::string& p) {
    if (mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(p.c_str());
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gen_tree DIR [FILES=200000] [DIRS=22000] [SEED=1] [NAMES=0]\n"
                             "NAMES > 0: file names from that many words only (ties in every order)\n");
        return 2;
    }
    const std::string root = argv[1];
    const long files = argc > 2 ? std::atol(argv[2]) : 200000;
    const long dirs = argc > 3 ? std::atol(argv[3]) : 22000;
    std::mt19937_64 rng(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
    const long names = argc > 5 ? std::atol(argv[5]) : 0;
    std::vector<std::string> pool;
    for (long i = 0; i < names; ++i)
        pool.push_back(Word(rng));

    MakeDir(root);
    std::vector<std::string> all{root};
    // Deep chains first: 20 of 60 levels.
    for (int c = 0; c < 20 && static_cast<long>(all.size()) < dirs; ++c) {
        std::string p = root + "/chain" + std::to_string(c);
        for (int d = 0; d < 60; ++d) {
            MakeDir(p);
            all.push_back(p);
            p += "/" + Word(rng);
        }
    }
    // The rest as a bushy tree: each new directory under a random earlier one,
    // biased towards recent ones so that depth grows.
    while (static_cast<long>(all.size()) < dirs) {
        std::uniform_int_distribution<std::size_t> pick(0, all.size() - 1);
        std::size_t parent = pick(rng);
        if (rng() % 2)
            parent = all.size() - 1 - (pick(rng) % std::min<std::size_t>(all.size(), 200));
        std::string name = Word(rng) + std::to_string(all.size());
        if (rng() % 100 == 0)
            name = "." + name; // dot directories are not entered
        std::string p = all[parent] + "/" + name;
        MakeDir(p);
        all.push_back(p);
    }
    std::discrete_distribution<int> ext(std::begin(kExtWeights), std::end(kExtWeights));
    std::uniform_int_distribution<std::size_t> pick(0, all.size() - 1);
    for (long i = 0; i < files; ++i) {
        std::string name = names > 0 ? pool[rng() % pool.size()] + (rng() % 2 ? "" : "_") + kExts[ext(rng)]
                                     : Word(rng) + std::to_string(i) + kExts[ext(rng)];
        if (names > 0 && rng() % 3 == 0)
            name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        if (rng() % 50 == 0)
            name = "." + name;
        std::string p = all[pick(rng)] + "/" + name;
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            std::perror(p.c_str());
            return 1;
        }
        if (ftruncate(fd, static_cast<off_t>(names > 0 ? rng() % 4 * 1000 : rng() % 200000)) != 0)
            std::perror("ftruncate");
        ::close(fd);
    }
    std::printf("%s: %ld files in %zu directories\n", root.c_str(), files, all.size());
    return 0;
}
