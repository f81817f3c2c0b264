#include "tools/AdminTool.h"

#include "auth/Bcrypt.h"
#include "config/SettingsFiles.h"
#include "config/uLodvarClasses.h"
#include "config/uUtils.h"
#include "data/uDbConnection.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/OsServices.h"
#include "platform/SecureBytes.h"
#include "tools/FixCommand.h"
#include "ui/DestinationPoint.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>

#ifdef _WIN32
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

QTextStream& Out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& Err() {
    static QTextStream stream(stderr);
    return stream;
}

// A parsed command line: "--name value" / "--name=value" options, flags, and
// positional words. Anything not starting with "--" is positional, so negative
// numbers ("-12.5") need no quoting; "--" ends the options.
struct ParsedArgs {
    QHash<QString, QString> values;
    QStringList flags;
    QStringList positional;
    bool help = false;
};

struct CommandSpec {
    QString name;
    QString usage;   // first line of --help
    QString details; // the rest of --help
    QStringList valueOptions;
    QStringList flagOptions;
    int positionalCount;
    std::function<int(const ParsedArgs&)> run;
};

// Raised for bad arguments or unreadable input: exit code 2, nothing written.
class UsageError : public Exception {
public:
    using Exception::Exception;
};

ParsedArgs Parse(const CommandSpec& spec, const QStringList& args) {
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        if (optionsEnded || !word.startsWith(QLatin1String("--")) || word.size() == 2) {
            if (!optionsEnded && word == QLatin1String("--")) {
                optionsEnded = true;
                continue;
            }
            parsed.positional.append(word);
            continue;
        }
        QString name = word.mid(2);
        QString value;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        const bool inlineValue = equals >= 0;
        if (inlineValue) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        if (name == QLatin1String("help") && !inlineValue) {
            parsed.help = true;
        } else if (spec.flagOptions.contains(name) && !inlineValue) {
            parsed.flags.append(name);
        } else if (spec.valueOptions.contains(name)) {
            if (!inlineValue) {
                if (++i >= args.size())
                    throw UsageError(QStringLiteral("option --%1 needs a value").arg(name));
                value = args[i];
            }
            if (parsed.values.contains(name))
                throw UsageError(QStringLiteral("option --%1 is given twice").arg(name));
            parsed.values.insert(name, value);
        } else {
            throw UsageError(QStringLiteral("unknown option %1").arg(word));
        }
    }
    if (!parsed.help && parsed.positional.size() != spec.positionalCount)
        throw UsageError(QStringLiteral("expected %1 argument(s), got %2")
                             .arg(spec.positionalCount)
                             .arg(parsed.positional.size()));
    return parsed;
}

bool StdinIsTerminal() {
#ifdef _WIN32
    return ::_isatty(::_fileno(stdin)) != 0;
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

// Echo is switched off while a secret is typed at a terminal, and restored on
// every path.
class EchoOff {
public:
    EchoOff() {
#ifdef _WIN32
        FConsole = ::GetStdHandle(STD_INPUT_HANDLE);
        FActive = StdinIsTerminal() && ::GetConsoleMode(FConsole, &FSaved);
        if (FActive)
            ::SetConsoleMode(FConsole, FSaved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
#else
        FActive = StdinIsTerminal() && ::tcgetattr(STDIN_FILENO, &FSaved) == 0;
        if (FActive) {
            termios quiet = FSaved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
#endif
    }
    ~EchoOff() {
        if (!FActive)
            return;
#ifdef _WIN32
        ::SetConsoleMode(FConsole, FSaved);
#else
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &FSaved);
#endif
        std::fputc('\n', stderr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
#ifdef _WIN32
    HANDLE FConsole = nullptr;
    DWORD FSaved = 0;
#else
    termios FSaved{};
#endif
    bool FActive = false;
};

// One byte of standard input, read past the C library so that no buffer of its own
// keeps a copy of a secret: 1 when read, 0 at the end, -1 on an error.
int ReadInputByte(std::uint8_t& byte) {
    for (;;) {
#ifdef _WIN32
        const int count = ::_read(0, &byte, 1);
#else
        const ssize_t count = ::read(STDIN_FILENO, &byte, 1);
#endif
        if (count >= 0)
            return static_cast<int>(count);
        if (errno != EINTR)
            return -1;
    }
}

// One line of standard input (without its line break), UTF-8, of at most MaxBytes
// bytes besides a CR LF ending. The bytes go into a buffer that never grows, so no
// copy is left behind, and both the bytes and the text are wiped on every path out.
class SecretLine {
public:
    static constexpr std::size_t MaxBytes = 4096;

    explicit SecretLine(const char* prompt) : FBytes(MaxBytes + 1) {
        if (StdinIsTerminal())
            std::fprintf(stderr, "%s", prompt);
        std::size_t size = 0;
        {
            EchoOff quiet;
            for (std::uint8_t c = 0;;) {
                const int got = ReadInputByte(c);
                if (got < 0)
                    throw UsageError(QStringLiteral("standard input cannot be read"));
                if (got == 0 || c == '\n')
                    break;
                if (size == FBytes.Size())
                    throw LineTooLong();
                FBytes.Data()[size++] = c;
            }
        }
        if (size > 0 && FBytes.Data()[size - 1] == '\r')
            --size;
        if (size > MaxBytes)
            throw LineTooLong();
        FBytes.Resize(size);
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        FText = decoder.decode(
            QByteArrayView(reinterpret_cast<const char*>(FBytes.Data()), qsizetype(size)));
        if (decoder.hasError()) {
            // The destructor does not run for a constructor that throws.
            CleanseString(FText);
            throw UsageError(QStringLiteral("standard input is not valid UTF-8"));
        }
    }
    ~SecretLine() { CleanseString(FText); }
    SecretLine(const SecretLine&) = delete;
    SecretLine& operator=(const SecretLine&) = delete;

    const QString& Text() const noexcept { return FText; }

private:
    static UsageError LineTooLong() {
        return UsageError(QStringLiteral("the input line is longer than %1 bytes").arg(MaxBytes));
    }

    TSecureBytes FBytes;
    QString FText;
};

// Writes bytes to standard output past every buffer (the text stream's, the C
// library's), so that a secret leaves no copy behind.
void WriteOutput(const std::uint8_t* data, std::size_t size) {
    Out().flush();
    for (std::size_t done = 0; done < size;) {
#ifdef _WIN32
        const int count = ::_write(1, data + done, static_cast<unsigned>(size - done));
#else
        const ssize_t count = ::write(STDOUT_FILENO, data + done, size - done);
#endif
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            throw Exception(QStringLiteral("standard output cannot be written"));
        done += static_cast<std::size_t>(count);
    }
}

// A secret and a line break, from a buffer that is wiped afterwards.
void WriteSecretLine(const QString& text) {
    const TSecureBytes utf8 = Utf8SecureBytes(text);
    WriteOutput(utf8.Data(), utf8.Size());
    const std::uint8_t lineFeed = '\n';
    WriteOutput(&lineFeed, 1);
}

int ReadInteger(const ParsedArgs& args, const QString& option, int low, int high, int fallback) {
    if (!args.values.contains(option))
        return fallback;
    bool ok = false;
    const int value = args.values.value(option).toInt(&ok, 10);
    if (!ok || value < low || value > high)
        throw UsageError(QStringLiteral("--%1 must be a whole number from %2 to %3")
                             .arg(option)
                             .arg(low)
                             .arg(high));
    return value;
}

double ReadNumber(const QString& text, const QString& what) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw UsageError(QStringLiteral("%1 must be a finite decimal number: %2").arg(what, text));
    return value;
}

// A value that INI files can keep exactly: no line breaks or other control characters.
QString ReadFileValue(const ParsedArgs& args, const QString& option) {
    const QString value = args.values.value(option);
    if (value.isEmpty())
        throw UsageError(QStringLiteral("--%1 is required").arg(option));
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            throw UsageError(QStringLiteral("--%1 must not hold control characters").arg(option));
    }
    return value;
}

// The folder of the connection files: --folder, else the per-user settings folder.
QString SettingsFolder(const ParsedArgs& args) {
    const QString folder = args.values.contains(QStringLiteral("folder"))
                               ? args.values.value(QStringLiteral("folder"))
                               : UserBinDirUnder(Os::LocalAppDataFolder());
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        throw UsageError(QStringLiteral("folder does not exist: %1").arg(folder));
    QString withDelimiter = QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath());
    if (!withDelimiter.endsWith(QDir::separator()))
        withDelimiter += QDir::separator();
    return withDelimiter;
}

// An alias that a connection file can be named after and that the main settings
// file's DB_ALIAS can name: no path, no ".pdb", nothing the INI reader would change
// (blanks at the ends, a pair of enclosing quotes), no control characters, and text
// that was valid UTF-8 on the command line (invalid bytes arrive as U+FFFD).
QString CheckedAlias(const QString& alias) {
    if (alias.isEmpty() || alias == QLatin1String(".") || alias == QLatin1String("..") ||
        alias.contains(QLatin1Char('/')) || alias.contains(QLatin1Char('\\')))
        throw UsageError(QStringLiteral("the alias must be a plain file name: %1").arg(alias));
    if (alias.contains(QLatin1String(".pdb"), Qt::CaseInsensitive))
        throw UsageError(QStringLiteral("give the alias without \".pdb\": %1").arg(alias));
    const bool controls = std::any_of(alias.cbegin(), alias.cend(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
    });
    const bool quoted = alias.size() >= 2 && alias.front() == alias.back() &&
                        (alias.front() == QLatin1Char('"') || alias.front() == QLatin1Char('\''));
    if (controls || quoted || alias.front().isSpace() || alias.back().isSpace() ||
        alias.contains(QChar::ReplacementCharacter) || !alias.isValidUtf16())
        throw UsageError(QStringLiteral("lodvar.ini cannot name this alias (control characters, "
                                        "blanks at an end, enclosing quotes or invalid "
                                        "UTF-8): %1")
                             .arg(alias));
    return alias;
}

// The longest file name the file systems of the workstations take, in bytes.
constexpr qsizetype MaxFileNameBytes = 255;

int EncryptPassword(const ParsedArgs&) {
    const SecretLine password("Password to encrypt: ");
    Out() << EncryptStr(password.Text(), SystemPassPhrase()) << '\n';
    return AdminOk;
}

int DecryptPassword(const ParsedArgs&) {
    const SecretLine stored("Stored-password text: ");
    QString password = DecryptStr(stored.Text().trimmed(), SystemPassPhrase());
    const TCleanseStringOnExit wipePassword(password);
    WriteSecretLine(password);
    return AdminOk;
}

int HashPassword(const ParsedArgs& args) {
    const int cost = ReadInteger(args, QStringLiteral("cost"), 4, 31, 12);
    const SecretLine password("Password to hash: ");
    if (password.Text().isEmpty())
        throw UsageError(QStringLiteral("the password is empty"));
    Out() << TBCrypt::HashPassword(password.Text(), cost) << '\n';
    return AdminOk;
}

int CheckPassword(const ParsedArgs& args) {
    const QString hash = args.positional.at(0);
    const SecretLine password("Password to check: ");
    bool renew = false;
    bool match = false;
    try {
        match = TBCrypt::CheckPassword(password.Text(), hash, renew);
    } catch (const Exception& e) {
        throw UsageError(e.Message());
    }
    Out() << (match ? "match" : "no match") << '\n'
          << (renew ? "renewal advised" : "no renewal needed") << '\n';
    return match ? AdminOk : AdminFailed;
}

int Destination(const ParsedArgs& args) {
    const double latitude = ReadNumber(args.positional.at(0), QStringLiteral("LAT"));
    const double longitude = ReadNumber(args.positional.at(1), QStringLiteral("LON"));
    const double bearing = ReadNumber(args.positional.at(2), QStringLiteral("BEARING"));
    const double distance = ReadNumber(args.positional.at(3), QStringLiteral("DISTANCE"));
    if (latitude < -90 || latitude > 90)
        throw UsageError(QStringLiteral("LAT must lie within -90..90 degrees"));
    const TCoordinate end = DestinationPoint({latitude, longitude}, bearing, distance);
    // Adding 0.0 turns a negative zero into a positive one, so "-0.000000" never shows.
    Out() << QString::number(end.Latitude + 0.0, 'f', 6) << ' '
          << QString::number(end.Longitude + 0.0, 'f', 6) << '\n';
    return AdminOk;
}

int WriteProfile(const ParsedArgs& args) {
    const QString alias = CheckedAlias(args.positional.at(0));
    const QString folder = SettingsFolder(args);
    const QString server = ReadFileValue(args, QStringLiteral("server"));
    if (!args.values.contains(QStringLiteral("port")))
        throw UsageError(QStringLiteral("--port is required"));
    const int port = ReadInteger(args, QStringLiteral("port"), 1, 65534, 0);
    const QString dbName = ReadFileValue(args, QStringLiteral("db"));
    const QString dbUserName = ReadFileValue(args, QStringLiteral("user"));
    const bool rememberLogin = args.values.contains(QStringLiteral("login"));
    const QString login = rememberLogin ? ReadFileValue(args, QStringLiteral("login")) : QString();

    const QString target = ConnectionFileName(folder, alias);
    if (QFile::encodeName(QFileInfo(target).fileName()).size() > MaxFileNameBytes)
        throw UsageError(QStringLiteral("the file name is too long: %1").arg(target));
    const bool force = args.flags.contains(QStringLiteral("force"));
    const auto exists = [&target] {
        return UsageError(QStringLiteral("%1 exists; use --force to overwrite it").arg(target));
    };
    if (QFileInfo::exists(target) && !force)
        throw exists();

    std::optional<SecretLine> password;
    if (args.flags.contains(QStringLiteral("remember-password")))
        password.emplace("Password to remember: ");

    // Written in a private folder beside the target and moved into place at the end,
    // so a failure leaves no file and an overwritten profile is replaced whole. Errors
    // name the target: the staging folder is gone by the time they are read.
    QTemporaryDir staging(folder + QStringLiteral(".lodvar-admin-XXXXXX"));
    if (!staging.isValid())
        throw Exception(QStringLiteral("Unable to write to %1").arg(target));
    const QString stagingFolder = QDir::toNativeSeparators(staging.path()) + QDir::separator();
    const QString stagedFile = ConnectionFileName(stagingFolder, alias);
    TDbConnection unused;
    TLodvarConnection profile(stagingFolder, unused);
    profile.setServer(server);
    profile.SetPortNumber(port);
    profile.setDBName(dbName);
    profile.setDBUserName(dbUserName);
    const TIniFile stagedIni(stagedFile);
    try {
        profile.SaveByAlias(alias);
        if (rememberLogin)
            WriteKey(stagedIni, ConnectionFile::Login, login);
        if (password)
            WriteKey(stagedIni, ConnectionFile::Password,
                     EncryptStr(password->Text(), SystemPassPhrase()));
    } catch (const Exception&) {
        throw Exception(QStringLiteral("Unable to write to %1").arg(target));
    }

    // What the program will read must be what was asked for.
    TLodvarConnection check(stagingFolder, unused);
    if (!check.LoadByAlias(alias, false) || check.server() != profile.server() ||
        check.Port() != profile.Port() || check.DBName() != profile.DBName() ||
        check.DBUserName() != profile.DBUserName() ||
        (rememberLogin && ReadKey(stagedIni, ConnectionFile::Login) != login))
        throw UsageError(QStringLiteral(
            "the values would not read back as given (leading or trailing blanks, or quotes)"));

    // The staged file is its owner's alone; a file it replaces keeps a stricter mode.
    if (force && QFileInfo::exists(target)) {
        const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QFile::setPermissions(stagedFile, QFileInfo(target).permissions() & ownerOnly);
        if (!Os::MoveReplacing(stagedFile, target))
            throw Exception(QStringLiteral("Unable to write to %1").arg(target));
    } else {
        // Without --force a file that appeared since the test above is never replaced.
        switch (Os::MoveNoReplace(stagedFile, target)) {
        case Os::TMoveOutcome::Moved:
            break;
        case Os::TMoveOutcome::NameTaken:
            throw exists();
        case Os::TMoveOutcome::Failed:
            throw Exception(QStringLiteral("Unable to write to %1").arg(target));
        }
    }
    Out() << "wrote " << target << '\n';
    return AdminOk;
}

int Probe(const ParsedArgs& args) {
    const QString alias = args.positional.at(0);
    const QString folder = SettingsFolder(args);
    TDbConnection cnn;
    TLodvarConnection profile(folder, cnn);
    if (!profile.LoadByAlias(alias, false)) {
        Out() << "profile: could not be loaded (see the message above)\n";
        return AdminFailed;
    }
    Out() << "profile: server " << profile.server() << ", port " << profile.Port() << ", database "
          << profile.DBName() << ", user " << profile.DBUserName() << '\n';
    if (!TLodvarConnection::CheckServerPort(profile.server(), profile.Port())) {
        Out() << "port: nothing accepts TCP connections at " << profile.server() << ':'
              << profile.Port() << '\n';
        return AdminFailed;
    }
    Out() << "port: reachable\n";
    if (profile.Connect()) {
        Out() << "database: connected\n";
        return AdminOk;
    }
    // Connect keeps the server's reason to itself; ask once more to show it.
    QString reason = QStringLiteral("the server refused the login");
    try {
        cnn.SetConnected(true);
    } catch (const EDatabaseError& e) {
        reason = e.Message().trimmed();
    }
    Out() << "database: could not connect: " << reason << '\n';
    return AdminFailed;
}

const QList<CommandSpec>& Commands() {
    static const QList<CommandSpec> commands = {
        {QStringLiteral("encrypt-password"),
         QStringLiteral("encrypt-password"),
         QStringLiteral("Reads a password from standard input and prints its stored-password "
                        "text for the [Login] Password key of a connection file."),
         {},
         {},
         0,
         EncryptPassword},
        {QStringLiteral("decrypt-password"),
         QStringLiteral("decrypt-password"),
         QStringLiteral("Reads a stored-password text from standard input and prints the "
                        "password it holds."),
         {},
         {},
         0,
         DecryptPassword},
        {QStringLiteral("write-profile"),
         QStringLiteral("write-profile ALIAS --server HOST --port N --db NAME --user NAME "
                        "[--folder DIR] [--login NAME] [--remember-password] [--force]"),
         QStringLiteral("Writes the connection file ALIAS.pdb (default folder: the per-user "
                        "settings folder). --login remembers a login name; "
                        "--remember-password reads a password from standard input and "
                        "stores it encrypted. An existing file is kept unless --force."),
         {QStringLiteral("server"), QStringLiteral("port"), QStringLiteral("db"),
          QStringLiteral("user"), QStringLiteral("folder"), QStringLiteral("login")},
         {QStringLiteral("remember-password"), QStringLiteral("force")},
         1,
         WriteProfile},
        {QStringLiteral("hash-password"),
         QStringLiteral("hash-password [--cost N]"),
         QStringLiteral("Reads a password from standard input and prints a new bcrypt hash "
                        "string for the users table (cost 4..31, default 12)."),
         {QStringLiteral("cost")},
         {},
         0,
         HashPassword},
        {QStringLiteral("check-password"),
         QStringLiteral("check-password HASH"),
         QStringLiteral("Reads a password from standard input and checks it against HASH. "
                        "Prints \"match\" or \"no match\" and whether a renewal is advised. "
                        "Exit code 0 on a match, 1 otherwise, 2 for an unreadable hash."),
         {},
         {},
         1,
         CheckPassword},
        {QStringLiteral("destination"),
         QStringLiteral("destination LAT LON BEARING DISTANCE"),
         QStringLiteral("Prints the end point (latitude and longitude, degrees, six decimals) "
                        "of a bearing line: from LAT LON (degrees) along BEARING (degrees, "
                        "clockwise from north) for DISTANCE metres."),
         {},
         {},
         4,
         Destination},
        {QStringLiteral("probe"),
         QStringLiteral("probe ALIAS [--folder DIR]"),
         QStringLiteral("Loads the connection profile ALIAS, probes its server's port and "
                        "tries to connect with it, saying what failed."),
         {QStringLiteral("folder")},
         {},
         1,
         Probe},
        {QStringLiteral("fix"),
         FixUsage(),
         FixDetails(),
         FixValueOptions(),
         {},
         0,
         [](const ParsedArgs& args) { return RunFixCommand(args.values, Out(), Err()); }},
    };
    return commands;
}

int Overview(QTextStream& stream) {
    stream << "usage: lodvar-admin COMMAND [ARGUMENTS] (COMMAND --help for details)\n"
              "commands:\n";
    for (const CommandSpec& c : Commands())
        stream << "  " << c.usage << '\n';
    return AdminOk;
}

} // namespace

namespace {
int RunCommand(const QStringList& AArguments) {
    if (AArguments.isEmpty()) {
        Overview(Err());
        return AdminBadUsage;
    }
    const QString name = AArguments.first();
    if (name == QLatin1String("--help") || name == QLatin1String("help"))
        return Overview(Out());
    const CommandSpec* command = nullptr;
    for (const CommandSpec& c : Commands()) {
        if (c.name == name)
            command = &c;
    }
    if (!command) {
        Err() << "lodvar-admin: unknown command " << name << '\n';
        Overview(Err());
        return AdminBadUsage;
    }
    try {
        const ParsedArgs args = Parse(*command, AArguments.mid(1));
        if (args.help) {
            Out() << "usage: lodvar-admin " << command->usage << "\n\n" << command->details << '\n';
            return AdminOk;
        }
        return command->run(args);
    } catch (const UsageError& e) {
        Err() << "lodvar-admin " << name << ": " << e.Message() << '\n'
              << "usage: lodvar-admin " << command->usage << '\n';
        return AdminBadUsage;
    } catch (const Exception& e) {
        Err() << "lodvar-admin " << name << ": " << e.Message() << '\n';
        return AdminFailed;
    }
}
} // namespace

int RunAdmin(const QStringList& AArguments) {
    const int code = RunCommand(AArguments);
    Out().flush();
    Err().flush();
    return code;
}
