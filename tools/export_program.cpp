#include "tools/export_program.h"

#include <QIODevice>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <streambuf>
#include <vector>

#include "db/session.h"
#include "settings/network_setting.h"
#include "settings/program_start.h"
#include "station/exact_station.h"
#include "station/station_journal.h"
#include "tools/catalogue_history.h"
#include "tools/map_formats.h"
#include "tools/network_codes.h"
#include "tools/output_file.h"
#include "tools/stationxml.h"
#include "tools/tool_common.h"

namespace {

// What is written, handed on to `sink` in pieces of kPieceBytes, so that a
// large document is neither held in memory nor handed on a few bytes at a
// time. Once the sink refused a piece, every later write fails.
class SinkBuffer : public std::streambuf {
public:
    explicit SinkBuffer(std::function<bool(const char*, size_t)> sink) : sink_(std::move(sink)), piece_(kPieceBytes) {
        setp(piece_.data(), piece_.data() + piece_.size());
    }
    // Hands on what is held; false when the sink refused this or an earlier piece.
    bool Flush() { return sync() == 0; }

protected:
    int overflow(int c) override {
        if (sync() != 0) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        const size_t size = static_cast<size_t>(pptr() - pbase());
        if (!failed_ && size > 0) failed_ = !sink_(pbase(), size);
        setp(piece_.data(), piece_.data() + piece_.size());
        return failed_ ? -1 : 0;
    }

private:
    static constexpr size_t kPieceBytes = 64 * 1024;
    std::function<bool(const char*, size_t)> sink_;
    std::vector<char> piece_;
    bool failed_ = false;
};

// A device over a SinkBuffer, for Qt's XML writer; a write the buffer
// refuses fails the device.
class SinkDevice : public QIODevice {
public:
    explicit SinkDevice(std::streambuf& buffer) : buffer_(buffer) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        return buffer_.sputn(data, static_cast<std::streamsize>(size)) == size ? size : -1;
    }

private:
    std::streambuf& buffer_;
};

void WriteHelp(std::ostream& out) {
    out << "Использование: station-export --stationxml|--geojson|--text [--level station|channel]\n"
           "                      [STA...] [--network CODE] [-o FILE] [--as-of TIME | --changed-since TIME]\n"
           "                      [ODBC=dsn] [USER=u] [PASSWORD=p]\n"
           "\n"
           "Выгружает станции (все или перечисленные). База только читается.\n"
           "\n"
           "  --stationxml     FDSN StationXML 1.2: сеть Network на код сети, станция Station на строку SITE,\n"
           "                   канал Channel на строку SITECHAN\n"
           "  --geojson        GeoJSON (RFC 7946): точка на станцию с кодами, названиями, датами и каналами,\n"
           "                   слой для QGIS и веб-карт\n"
           "  --text           текстовый формат веб-службы FDSN station, строка на станцию;\n"
           "  --level channel  с --text: строка на канал\n"
           "  --network CODE   код сети станций, которых нет в таблице AFFILIATION (NET, STA) или когда\n"
           "                   таблицы нет; иначе [FDSN] NETWORK из zrn.ini, иначе XX\n"
           "  --as-of TIME     каталог таким, каким он был в TIME (UTC, ГГГГ-ММ-ДД[ чч:мм[:сс]]), по журналу\n"
           "                   изменений; станции, изменённые после TIME не через station-editor, названы\n"
           "                   в stderr (код выхода 1)\n"
           "  --changed-since TIME  только станции, изменённые программами station-editor после TIME (UTC)\n"
           "  -o FILE          записать в FILE (файл заменяется только целиком; устройство или канал\n"
           "                   пишется напрямую); -o - или без -o: в стандартный вывод\n"
           "  --help           эта справка\n"
           "  --version        версия программы\n"
           "\n";
    WriteDatabaseHelp(out);
    out << "Код выхода: 0 выгружено как хранится, 1 выгружено, но часть значений пришлось заменить\n"
           "(сказано в stderr), 2 выгрузка не выполнена.\n";
}

// The value after an option: "--name VALUE" or "--name=VALUE".
bool OptionValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string& value,
                 bool& missing) {
    const std::string& arg = args[i];
    if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (arg != name) return false;
    if (++i == args.size()) {
        missing = true;
        return true;
    }
    value = args[i];
    return true;
}

// What the command line asks of an export.
struct ExportArguments {
    std::string format;  // --stationxml, --geojson or --text
    std::string network, outputPath, level;
    std::string asOf, changedSince;  // --as-of, --changed-since: from the journal
    std::vector<std::string> stations;
    CommandLineValues connection;
};

// The command line read; nullopt, with the reason on `err`, when it asks for
// nothing the program can do.
std::optional<ExportArguments> ReadExportArguments(int argc, char** argv, std::ostream& err) {
    ProgramArguments arguments = SplitProgramArguments(argc, argv);
    ExportArguments asked;
    asked.connection = std::move(arguments.connection);
    std::vector<std::string> formats;
    const std::vector<std::string>& args = arguments.others;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool missing = false;
        if (arg == "--stationxml" || arg == "--geojson" || arg == "--text") {
            formats.push_back(arg);
        } else if (OptionValue(args, i, "--network", asked.network, missing) ||
                   OptionValue(args, i, "-o", asked.outputPath, missing) ||
                   OptionValue(args, i, "--output", asked.outputPath, missing) ||
                   OptionValue(args, i, "--level", asked.level, missing) ||
                   OptionValue(args, i, "--as-of", asked.asOf, missing) ||
                   OptionValue(args, i, "--changed-since", asked.changedSince, missing)) {
            if (missing) {
                err << "station-export: после " << arg << " нужно значение\n";
                return std::nullopt;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            err << "station-export: неизвестный параметр '" << arg << "' (справка: station-export --help)\n";
            return std::nullopt;
        } else {
            asked.stations.push_back(arg);
        }
    }
    if (formats.size() != 1) {
        err << "station-export: укажите один формат: --stationxml, --geojson или --text (справка: station-export "
               "--help)\n";
        return std::nullopt;
    }
    asked.format = formats.front();
    if (!asked.level.empty() &&
        (asked.format != "--text" || (asked.level != "station" && asked.level != "channel"))) {
        err << "station-export: --level station или --level channel бывает только с --text\n";
        return std::nullopt;
    }
    if (!asked.asOf.empty() && !asked.changedSince.empty()) {
        err << "station-export: --as-of и --changed-since вместе не задаются\n";
        return std::nullopt;
    }
    return asked;
}

// The catalogue from the journal: as it stood at `time` (`asOf`), or the
// stations changed since it as they are now. `changedOutside` receives the
// stations whose past the journal may not hold in full. On failure writes
// the reason to `err` and answers nullopt.
std::optional<Catalogue> ReadJournaledCatalogue(const DatabaseChoice& database, const std::vector<std::string>& codes,
                                                const std::string& time, bool asOf,
                                                std::vector<std::string>& changedOutside,
                                                const std::function<bool(CDatabase&)>& alsoRead, std::ostream& err) {
    CDatabase session;
    if (!OpenReadOnlySession(session, database, err)) return std::nullopt;
    try {
        if (!JournalAvailable(session)) {
            err << "station-export: в базе нет журнала изменений STATION_JOURNAL, прошлое каталога не узнать\n";
            return std::nullopt;
        }
        Catalogue catalogue;
        if (asOf) {
            PastCatalogue past = ReadCatalogueAsOf(session, codes, time);
            changedOutside = std::move(past.changedOutside);
            catalogue = std::move(past.catalogue);
        } else {
            std::set<std::string> changed;
            for (std::string& code : StationsChangedSince(session, time))
                if (codes.empty() || std::find(codes.begin(), codes.end(), code) != codes.end())
                    changed.insert(std::move(code));
            Catalogue now = ReadCatalogue(session, {});
            catalogue = CatalogueOf(std::move(now.allSites), std::move(now.channels),
                                    [&changed](const std::optional<std::string>& code) {
                                        return code && changed.count(*code) != 0;
                                    });
        }
        if (!catalogue.unknownStations.empty()) {
            err << "Нет в SITE на " << time << ":";
            for (const std::string& code : catalogue.unknownStations) err << ' ' << code;
            err << '\n';
            return std::nullopt;
        }
        if (alsoRead && !alsoRead(session)) return std::nullopt;
        return catalogue;
    } catch (const CDBException& e) {
        WriteCatalogueReadFailure(e, err);
    } catch (const JournalFormatError& e) {
        err << "station-export: запись журнала изменений не читается: " << e.what() << '\n';
    }
    return std::nullopt;
}

// Writes the chosen format of the catalogue to `buffer` as it goes; false
// in `ok` when a write was refused. Answers the values that had to be
// replaced.
std::vector<ExportNote> WriteDocument(const ExportArguments& asked, const Catalogue& catalogue,
                                      const NetworkCodes& network, SinkBuffer& buffer, bool& ok) {
    if (asked.format == "--stationxml") {
        SinkDevice device(buffer);
        return WriteStationXml(catalogue, {network, UtcNowText()}, device, ok);
    }
    std::ostream text(&buffer);
    const std::vector<ExportNote> notes =
        asked.format == "--geojson"
            ? WriteGeoJson(catalogue, network, text)
            : WriteStationText(catalogue, network, asked.level == "channel" ? TextLevel::Channel : TextLevel::Station,
                               text);
    ok = static_cast<bool>(text);
    return notes;
}

// How a document is written: into the buffer, answering its notes, false in
// `ok` when a write was refused.
using DocumentWriter = std::function<std::vector<ExportNote>(SinkBuffer&, bool&)>;

// Writes through `write` into the file `path`, which is replaced only whole;
// nullopt, with the reason on `err`, when it could not be written.
std::optional<std::vector<ExportNote>> ExportToFile(const std::string& path, const DocumentWriter& write,
                                                    std::ostream& err) {
    bool written = false;
    std::vector<ExportNote> notes;
    OutputFile file(path);
    if (file.Open()) {
        SinkBuffer buffer([&file](const char* data, size_t size) { return file.Write(data, size); });
        notes = write(buffer, written);
        written = buffer.Flush() && written && file.Commit();
    }
    if (!written) {
        err << "station-export: не удалось записать " << path << ": " << file.Error() << '\n';
        return std::nullopt;
    }
    return notes;
}

// Writes through `write` to the standard output `out`; nullopt, with the
// system's reason on `err`, when a write failed.
std::optional<std::vector<ExportNote>> ExportToOutput(std::ostream& out, const DocumentWriter& write,
                                                      std::ostream& err) {
    // The system's reason of the first failed write to the standard
    // output, taken before anything else can change errno.
    int reason = 0;
    const auto failed = [&out, &reason] {
        if (!out && reason == 0) reason = errno;
        return !out;
    };
    SinkBuffer buffer([&](const char* data, size_t size) {
        errno = 0;
        out.write(data, static_cast<std::streamsize>(size));
        return !failed();
    });
    bool written = false;
    std::vector<ExportNote> notes = write(buffer, written);
    written = buffer.Flush() && written;
    errno = 0;
    out.flush();
    if (failed() || !written) {
        err << "station-export: не удалось вывести документ"
            << (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()) << '\n';
        return std::nullopt;
    }
    return notes;
}

}  // namespace

int RunStationExport(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (const auto status = AnswerInformationRequest(argc, argv, "station-export", WriteHelp, out)) return *status;
    const std::optional<ExportArguments> asked = ReadExportArguments(argc, argv, err);
    if (!asked) return ExitStatus::CouldNotRun;

    const ToolSettings settings = ResolveToolSettings(asked->connection);
    NetworkCodes network = DefaultNetworkCode(asked->network, settings.profile);
    // Each station's code from AFFILIATION, on the session that read the catalogue.
    const auto readNetworks = [&network, &err](CDatabase& session) {
        try {
            network = ReadNetworkCodes(session, network.Fallback());
            return true;
        } catch (const CDBException& e) {
            err << "station-export: не удалось прочитать таблицу AFFILIATION:\n" << e.ErrorText << '\n';
            return false;
        }
    };
    const std::optional<std::vector<std::string>> codes = StationCodes(asked->stations, "station-export", err);
    if (!codes) return ExitStatus::CouldNotRun;
    const std::string& given = asked->asOf.empty() ? asked->changedSince : asked->asOf;
    const std::optional<std::string> time = JournalTime(given, false);
    if (!given.empty() && !time) {
        err << "station-export: время '" << given << "' не читается: нужно ГГГГ-ММ-ДД[ чч:мм[:сс]] (UTC)\n";
        return ExitStatus::CouldNotRun;
    }
    std::vector<std::string> changedOutside;
    const std::optional<Catalogue> catalogue =
        given.empty() ? ReadCatalogueReadOnly(settings.database, *codes, err, readNetworks)
                      : ReadJournaledCatalogue(settings.database, *codes, *time, !asked->asOf.empty(), changedOutside,
                                               readNetworks, err);
    if (!catalogue) return ExitStatus::CouldNotRun;

    const auto write = [&](SinkBuffer& buffer, bool& ok) {
        return WriteDocument(*asked, *catalogue, network, buffer, ok);
    };
    const std::optional<std::vector<ExportNote>> notes = !asked->outputPath.empty() && asked->outputPath != "-"
                                                             ? ExportToFile(asked->outputPath, write, err)
                                                             : ExportToOutput(out, write, err);
    if (!notes) return ExitStatus::CouldNotRun;
    for (const ExportNote& note : *notes)
        err << (note.station.empty() ? "(NULL)" : note.station) << ' ' << (note.channel.empty() ? "-" : note.channel)
            << ": " << note.message << '\n';
    for (const std::string& code : changedOutside)
        err << code << " -: изменена после " << *time
            << " не через station-editor: журнал изменений может не знать её прошлого\n";
    return notes->empty() && changedOutside.empty() ? ExitStatus::Clean : ExitStatus::Findings;
}
