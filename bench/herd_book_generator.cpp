// Writes a herd book shaped like a national dairy evaluation's, for the
// benchmarks of pedsim-stats (bench/README.md):
//
//   herd_book_generator ANIMALS [--deep] [--years Y] [--sires S]
//                       [--sire-years U] [--oldest O] [--seed N] [-o FILE]
//
// ANIMALS animals born over Y birth years (31; 60 with --deep), the first
// year's founders. Each later year's births have an artificial-insemination
// sire among the S active that year (300; 2,000 with --deep), each with about
// the same share (a gamma weight of shape 4), every sire chosen among the
// males born 2 to O years before (8) and used for U consecutive years (3); the
// dam is drawn among the females born 1 to O years before. 2% of sires and 1%
// of dams are unknown. Identifiers are shuffled numbers of one width; the
// columns are animal, sire, dam, birth year and sex (M/F). The same arguments
// always give the same file, on any machine: the draws come from
// std::mt19937_64, whose sequence the standard fixes, turned into numbers here
// rather than by the standard distributions, which differ between libraries.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Shape {
    std::int64_t animals = 0;
    std::int64_t years = 31;
    std::int64_t sires = 300;
    std::int64_t sire_years = 3;
    std::int64_t oldest = 8;
    std::uint64_t seed = 20261209;
    std::string output = "-";
};

std::int64_t count_value(std::string_view option, std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1)
        throw std::runtime_error(std::string(option) + " \"" + std::string(text) +
                                 "\" is not a positive whole number");
    return value;
}

Shape shape_from(int argc, char** argv)
{
    Shape shape;
    bool deep = false;
    std::int64_t years = 0, sires = 0;
    for (int k = 1; k < argc; ++k) {
        const std::string_view option = argv[k];
        const auto value = [&]() -> std::string_view {
            if (k + 1 >= argc) throw std::runtime_error(std::string(option) + " needs a value");
            return argv[++k];
        };
        if (option == "--deep")
            deep = true;
        else if (option == "--years")
            years = count_value(option, value());
        else if (option == "--sires")
            sires = count_value(option, value());
        else if (option == "--sire-years")
            shape.sire_years = count_value(option, value());
        else if (option == "--oldest")
            shape.oldest = count_value(option, value());
        else if (option == "--seed")
            shape.seed = static_cast<std::uint64_t>(count_value(option, value()));
        else if (option == "-o")
            shape.output = value();
        else
            shape.animals = count_value("ANIMALS", option);
    }
    shape.years = years ? years : deep ? 60 : 31;
    shape.sires = sires ? sires : deep ? 2000 : 300;
    if (shape.animals < 2 * shape.years)
        throw std::runtime_error("ANIMALS must be at least two per birth year");
    return shape;
}

// Uniform draws from one fixed sequence.
class Draws {
public:
    explicit Draws(std::uint64_t seed) : engine_(seed) {}
    double uniform() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }  // [0, 1)
    std::int64_t below(std::int64_t n)  // [0, n), for n below 2^53
    {
        return std::min(n - 1, static_cast<std::int64_t>(uniform() * static_cast<double>(n)));
    }
    double gamma4()
    {
        return -std::log((1 - uniform()) * (1 - uniform()) * (1 - uniform()) * (1 - uniform()));
    }

private:
    std::mt19937_64 engine_;
};

struct HerdBook {
    std::vector<std::int32_t> sire, dam;  // -1: unknown; animals numbered by birth year
    std::vector<std::int16_t> year;
    std::vector<std::uint8_t> male;
};

// `count` distinct members of `pool` (fewer when it is smaller), by a partial
// Fisher-Yates shuffle.
std::vector<std::int32_t> distinct_from(std::vector<std::int32_t> pool, std::int64_t count,
                                        Draws& draws)
{
    const std::size_t n = std::min<std::size_t>(pool.size(), static_cast<std::size_t>(count));
    for (std::size_t k = 0; k < n; ++k)
        std::swap(pool[k], pool[k + static_cast<std::size_t>(
                                        draws.below(static_cast<std::int64_t>(pool.size() - k)))]);
    pool.resize(n);
    return pool;
}

// Sires of the births [first, end) among `active`, with gamma weights.
void draw_sires(HerdBook& book, const std::vector<std::int32_t>& active, std::int64_t first,
                std::int64_t end, Draws& draws)
{
    std::vector<double> cumulative(active.size());
    double total = 0;
    for (std::size_t k = 0; k < active.size(); ++k) cumulative[k] = total += draws.gamma4();
    for (std::int64_t a = first; a < end; ++a) {
        const auto at =
            std::upper_bound(cumulative.begin(), cumulative.end(), draws.uniform() * total);
        book.sire[static_cast<std::size_t>(a)] = active[std::min<std::size_t>(
            static_cast<std::size_t>(at - cumulative.begin()), active.size() - 1)];
    }
}

HerdBook draw_herd_book(const Shape& shape, Draws& draws)
{
    const auto n = static_cast<std::size_t>(shape.animals);
    HerdBook book{std::vector<std::int32_t>(n, -1), std::vector<std::int32_t>(n, -1),
                  std::vector<std::int16_t>(n), std::vector<std::uint8_t>(n)};
    std::vector<std::int64_t> first(static_cast<std::size_t>(shape.years) + 1, 0);
    for (std::int64_t y = 0; y < shape.years; ++y)
        first[static_cast<std::size_t>(y) + 1] = first[static_cast<std::size_t>(y)] +
                                                 shape.animals / shape.years +
                                                 (y < shape.animals % shape.years);
    for (std::size_t a = 0; a < n; ++a) book.male[a] = draws.uniform() < 0.5;
    std::vector<std::vector<std::int32_t>> first_used;  // the sires first used in each year
    for (std::int64_t y = 0; y < shape.years; ++y) {
        const auto begin = first[static_cast<std::size_t>(y)],
                   end = first[static_cast<std::size_t>(y) + 1];
        for (auto a = begin; a < end; ++a)
            book.year[static_cast<std::size_t>(a)] = static_cast<std::int16_t>(y);
        if (y == 0) continue;
        std::vector<std::int32_t> males, females;
        const std::int64_t youngest_sire_year = std::max<std::int64_t>(0, y - 2);
        for (auto a = first[static_cast<std::size_t>(std::max<std::int64_t>(0, y - shape.oldest))];
             a < begin; ++a) {
            const auto i = static_cast<std::size_t>(a);
            if (!book.male[i])
                females.push_back(static_cast<std::int32_t>(a));
            else if (book.year[i] <= youngest_sire_year)
                males.push_back(static_cast<std::int32_t>(a));
        }
        first_used.push_back(distinct_from(
            std::move(males), std::max<std::int64_t>(1, shape.sires / shape.sire_years), draws));
        std::vector<std::int32_t> active;
        for (std::size_t k = first_used.size() -
                             std::min<std::size_t>(first_used.size(),
                                                   static_cast<std::size_t>(shape.sire_years));
             k < first_used.size(); ++k)
            active.insert(active.end(), first_used[k].begin(), first_used[k].end());
        draw_sires(book, active, begin, end, draws);
        for (auto a = begin; a < end; ++a) {
            const auto i = static_cast<std::size_t>(a);
            book.dam[i] = females[static_cast<std::size_t>(
                draws.below(static_cast<std::int64_t>(females.size())))];
            const double missing = draws.uniform();
            if (missing < 0.02)
                book.sire[i] = -1;
            else if (missing < 0.03)
                book.dam[i] = -1;
        }
    }
    return book;
}

// Shuffled identifiers of one width: 10^w + a permutation of the animals,
// 10^w the least power of ten with 9 10^w at least the animals.
std::vector<std::int64_t> identifiers(std::size_t animals, Draws& draws)
{
    std::int64_t base = 10;
    while (9 * base < static_cast<std::int64_t>(animals)) base *= 10;
    std::vector<std::int64_t> id(animals);
    std::iota(id.begin(), id.end(), base);
    for (std::size_t k = animals; k > 1; --k)
        std::swap(id[k - 1],
                  id[static_cast<std::size_t>(draws.below(static_cast<std::int64_t>(k)))]);
    return id;
}

void write_herd_book(const HerdBook& book, const std::vector<std::int64_t>& id, std::FILE* out)
{
    std::string text = "animal sire dam year sex\n";
    text.reserve(id.size() * 40);
    char field[24];
    const auto put = [&](std::int64_t value) {
        const auto end = std::to_chars(field, field + sizeof field, value).ptr;
        text.append(field, end);
    };
    for (std::size_t a = 0; a < id.size(); ++a) {
        put(id[a]);
        text += ' ';
        put(book.sire[a] < 0 ? 0 : id[static_cast<std::size_t>(book.sire[a])]);
        text += ' ';
        put(book.dam[a] < 0 ? 0 : id[static_cast<std::size_t>(book.dam[a])]);
        text += ' ';
        put(2000 + book.year[a]);
        text += book.male[a] ? " M\n" : " F\n";
    }
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size())
        throw std::runtime_error("cannot write the herd book");
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Shape shape = shape_from(argc, argv);
        Draws draws(shape.seed);
        const HerdBook book = draw_herd_book(shape, draws);
        const std::vector<std::int64_t> id = identifiers(book.sire.size(), draws);
        std::FILE* out = shape.output == "-" ? stdout : std::fopen(shape.output.c_str(), "wb");
        if (!out)
            throw std::runtime_error("cannot open " + shape.output + ": " + std::strerror(errno));
        write_herd_book(book, id, out);
        if (out != stdout && std::fclose(out) != 0)
            throw std::runtime_error("cannot close " + shape.output);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "herd_book_generator: %s\n", failure.what());
        return 1;
    }
    return 0;
}
