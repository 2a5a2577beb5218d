// The plain program a rebuild is held to: for every patient folder below a data root, it reads
// each archived document of the folder's "XML-files", parses it with pugixml and appends one
// record per measurement (time, concentration, analyte and catheter numbers) to a file of the
// patient's own in the output folder. Nothing is checked, converted, paired or locked.
//
//   plain_rebuild DATA_ROOT OUTPUT_FOLDER
// Prints the documents and measurements it read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

namespace fs = std::filesystem;

namespace {

struct Record {
    double time;
    double value;
    std::int32_t analyte;
    std::int32_t place;
    char vial[20];
};

bool readFile(const fs::path& path, std::vector<char>& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bytes.clear();
    char block[65536];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    std::fclose(file);
    return true;
}

// Days since 1899-12-30 of "yyyy-MM-ddThh:mm:ss", as the stored files count time.
double days(const char* text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(text, "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6)
        return 0;
    // Days from civil (proleptic Gregorian), then shifted to 1899-12-30.
    y -= mo <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = unsigned((153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const double sinceEpoch = double(era) * 146097 + double(doe) - 719468;
    return sinceEpoch + 25569 + (h * 3600 + mi * 60 + s) / 86400.0;
}

struct Counts {
    long documents = 0;
    long measurements = 0;
};

// The index of a name in a patient's list of names, added at the end when new.
std::int32_t numberOf(std::vector<std::string>& names, const char* name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name)
            return std::int32_t(i);
    }
    names.emplace_back(name);
    return std::int32_t(names.size() - 1);
}

// Every measurement of one patient's archived documents, a record each.
void rebuildPatient(const fs::path& archive, FILE* out, std::vector<char>& bytes, Counts& counts) {
    std::vector<std::string> analytes;
    std::vector<std::string> places;
    for (const fs::directory_entry& entry : fs::directory_iterator(archive)) {
        if (entry.path().extension() != ".xml" || !readFile(entry.path(), bytes))
            continue;
        pugi::xml_document document;
        if (!document.load_buffer(bytes.data(), bytes.size()))
            continue;
        ++counts.documents;
        for (const pugi::xml_node admission : document.document_element().children("Admission")) {
            for (const pugi::xml_node recording : admission.children("Recording")) {
                const std::int32_t analyte =
                    numberOf(analytes, recording.child_value("AnalyteCode"));
                const std::int32_t place =
                    numberOf(places, recording.child_value("CatheterLocation"));
                for (const pugi::xml_node m : recording.children("Measurement")) {
                    Record record{};
                    record.time = days(m.child_value("TimeStamp"));
                    record.value = std::strtod(m.child_value("Concentration"), nullptr);
                    record.analyte = analyte;
                    record.place = place;
                    std::strncpy(record.vial, m.child_value("VialID"), sizeof record.vial - 1);
                    std::fwrite(&record, sizeof record, 1, out);
                    ++counts.measurements;
                }
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: plain_rebuild DATA_ROOT OUTPUT_FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path output = argv[2];
    fs::create_directories(output);
    Counts counts;
    std::vector<char> bytes;
    for (const fs::directory_entry& patient : fs::directory_iterator(root)) {
        const fs::path archive = patient.path() / "XML-files";
        if (!fs::is_directory(archive))
            continue;
        FILE* out = std::fopen((output / patient.path().filename()).c_str(), "wb");
        if (out == nullptr)
            return 1;
        rebuildPatient(archive, out, bytes, counts);
        std::fclose(out);
    }
    std::printf("%ld documents, %ld measurements\n", counts.documents, counts.measurements);
    return 0;
}
