// SPDX-License-Identifier: GPL-3.0-or-later
// vyx sim: a simulated device on a pseudo-terminal and/or TCP ports, a Modbus
// RTU slave served by libmodbus, with pacing and fault injection.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <modbus/modbus.h>

#include "modbus/Frame.h"
#include "modbus/Identify.h"
#include "base/Error.h"
#include "registers/RegisterFile.h"
#include "port/PortList.h"
#include "serial/Serial.h"
#include "serial/Termios.h"
#include "tools/vyx/Commands.h"
#include "tools/vyx/Options.h"
#include "tools/vyx/SimDevice.h"
#include "tools/vyx/SimNetwork.h"
#include "tools/vyx/SimWire.h"

namespace fs = std::filesystem;
using namespace vyx::sim;

namespace {

void OnSignal(int) { gStop = 1; }

const char kUsage[] =
    "Usage: vyx sim FILE.dat [options]\n"
    "Plays the device of a register description file: a Modbus RTU slave on a\n"
    "pseudo-terminal. Prints the terminal's path and leaves a link to it in the\n"
    "simulator folder, where the port list finds it; both go when it ends (Ctrl-C).\n"
    "Each read of R0 is counted in \"Licznik pomiarów\"; writing the value of\n"
    "\"Zeruj licznik pomiarów\" into its register zeroes the counter and then the\n"
    "command register, as the device does. Each unit tells what it is to functions\n"
    "17 and 43/14 by its \"Typ urządzenia\" and \"Wersja oprogramowania\".\n\n"
    "Options:\n"
    "  --slave N         slave address (default 247)\n"
    "  --unit FILE.dat:N[:noident]  one more unit, at slave N (repeatable)\n"
    "  --no-ident        functions 17 and 43 get exception 1 (:noident for a --unit)\n"
    "  --baud B          pace requests and replies as a line of B baud would\n"
    "                    (11 bits a character; default: no pacing)\n"
    "  --mode TEXT       the device's line, e.g. 9600,o,8,1: a request sent at\n"
    "                    another speed, parity or stop bits is not understood and\n"
    "                    gets no reply (default: any line)\n"
    "  --delay MS        turn-around time before each reply (default 0)\n"
    "  --noise N         R0 varies by up to N counts around its value (default 1);\n"
    "                    0 is a steady device, whose readings are not counted\n"
    "  --settle T        R0 starts at 0 and settles to its value with a time\n"
    "                    constant of T seconds (decimal comma or point, above 0):\n"
    "                    VALUE - VALUE * e^(-t/T) at t seconds after the start, plus\n"
    "                    the noise; near VALUE after 5 T\n"
    "  --crc-errors P    probability of a reply with a broken CRC\n"
    "  --silence P       probability of no reply at all\n"
    "  --exceptions P    probability of an exception reply (slave device failure)\n"
    "  --echo            the terminal returns every request as it came, before any\n"
    "                    reply, as a two-wire RS-485 adapter without echo\n"
    "                    suppression does (a master then needs its --echo)\n"
    "  --stray           one 0x00 byte before every reply on the terminal, as a\n"
    "                    driver switching from sending to receiving leaves\n"
    "  --name NAME       name of the link (default: the file's name)\n"
    "  --tcp [HOST:]PORT also serve RTU frames over TCP there (HOST 127.0.0.1\n"
    "                    unless given; PORT 0 takes a free one)\n"
    "  --mbtcp [HOST:]PORT  also serve Modbus TCP there (the unit id is the slave\n"
    "                    address; a broken CRC becomes a damaged header)\n"
    "  --listen-any      allow a HOST that is not the loopback (the device is then\n"
    "                    open to the network)\n"
    "  --no-pty          serve only the --tcp and --mbtcp addresses: no terminal,\n"
    "                    no link (not with --mode, --name, --echo or --stray,\n"
    "                    which are the terminal's)\n"
    "Each address served is printed after the terminal's path (in its place with\n"
    "--no-pty), one a line, as tcp://HOST:PORT or mbtcp://HOST:PORT, the port as\n"
    "bound.\n";

// Each request lands under exactly one of good, exceptions, crcErrors and
// silenced, as the master counts it; writes and echoes are kinds of good replies.
struct Stats {
    long requests = 0, ignored = 0, misheard = 0, good = 0, exceptions = 0, crcErrors = 0, silenced = 0, echoes = 0,
         writes = 0;
};

// The pseudo-terminal: the master side is served, the terminal side is kept open
// by us too (else reads of the master fail with EIO while no client has it open),
// raw, and preset to another speed than a client's first configuration.
struct Terminal {
    int master = -1;
    int own = -1;
    std::string path;

    bool Open() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
        const char* name = ptsname(master);
        if (!name) return false;
        path = name;
        own = open(name, O_RDWR | O_NOCTTY);
        if (own < 0) return false;
        termios t{};
        tcgetattr(own, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(own, TCSANOW, &t);
        return true;
    }
    ~Terminal() {
        if (own >= 0) close(own);
        if (master >= 0) close(master);
    }
};

// A link named after the device in the simulator folder; NAME-2, NAME-3, ... when
// another simulator of the same device runs. The name is ours while we hold the
// lock on its lock file (SimulatorLockPath), which goes with the process however
// it ends; so a link found under a name whose lock we got was left by a killed
// simulator and is replaced, even when its terminal exists again for another.
struct Link {
    fs::path path;
    std::string lockPath;
    int lock = -1;

    bool Make(const std::string& name, const std::string& target, std::string& error) {
        const fs::path folder = vyx::SimulatorFolder();
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            error = "cannot create " + folder.string() + ": " + ec.message();
            return false;
        }
        // In a shared /tmp the folder must be our own: a folder or link planted by
        // another user would let them redirect the links.
        struct stat st {};
        if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
            error = folder.string() + " is not a folder of this user";
            return false;
        }
        chmod(folder.c_str(), 0700);
        for (int n = 1, attempts = 0; n < 100 && attempts < 1000; ++attempts) {
            const fs::path candidate = folder / (n == 1 ? name : name + "-" + std::to_string(n));
            bool created = false;
            switch (Claim(candidate, created)) {
                case Claimed::No: ++n; continue;          // a running simulator's
                case Claimed::Retry: continue;            // its lock file went meanwhile
                case Claimed::Failed:
                    error = "cannot lock " + lockPath + ": " + std::strerror(errno);
                    return false;
                case Claimed::Yes: break;
            }
            if (fs::is_symlink(fs::symlink_status(candidate, ec))) {
                // Without a lock file before ours, a link to a live terminal is not
                // a simulator's of this kind: leave it and take the next name.
                if (created && fs::exists(candidate, ec)) {
                    Release();
                    ++n;
                    continue;
                }
                fs::remove(candidate, ec);
            }
            if (symlink(target.c_str(), candidate.c_str()) == 0) {
                path = candidate;
                return true;
            }
            const int failure = errno;
            Release();
            if (failure != EEXIST) {
                error = "cannot create " + candidate.string() + ": " + std::strerror(failure);
                return false;
            }
            ++n;
        }
        error = "too many simulators named " + name;
        return false;
    }

    ~Link() {
        if (!path.empty()) unlink(path.c_str());
        Release();
    }

private:
    enum class Claimed { Yes, No, Retry, Failed };

    // Takes the lock of the name; `created` tells whether its lock file is new.
    Claimed Claim(const fs::path& candidate, bool& created) {
        lockPath = vyx::SimulatorLockPath(candidate.string());
        lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        created = lock >= 0;
        if (!created && errno == EEXIST) lock = open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (lock < 0) return errno == ENOENT ? Claimed::Retry : Claimed::Failed;
        if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
            close(lock), lock = -1;
            return Claimed::No;
        }
        // The holder before us may have removed the file between our open and our
        // lock: then the lock guards nothing and the name is tried again.
        struct stat held {}, now {};
        if (fstat(lock, &held) != 0 || stat(lockPath.c_str(), &now) != 0 || held.st_ino != now.st_ino ||
            held.st_dev != now.st_dev) {
            close(lock), lock = -1;
            return Claimed::Retry;
        }
        return Claimed::Yes;
    }

    // Gives the name up: the lock file goes first, while it is still held.
    void Release() {
        if (lock < 0) return;
        unlink(lockPath.c_str());
        close(lock);
        lock = -1;
    }
};

// True when the client has set the terminal to the device's line. A
// pseudo-terminal keeps the speed, the stop bits, PARODD and the parity check
// (INPCK) the client set, but drops PARENB, so the parity check stands for it.
bool LineMatches(int fd, const vyx::TSerialLine& line) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    const bool parity = (t.c_cflag & PARENB) || (t.c_iflag & INPCK);
    const char seen = !parity ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    const uint8_t stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return vyx::posix::LineSpeed(fd) == line.Baud && seen == line.Parity && stopBits == line.StopBits;
}

// A unit on the line: its address, the file it plays, and whether it answers
// functions 17 and 43 (many real units answer neither).
struct Unit {
    std::string file;
    long slave = 0;
    bool ident = true;
    std::unique_ptr<vyx::TSimDevice> device;
};

// "FILE.dat:SLAVE" or "FILE.dat:SLAVE:noident".
Unit ParseUnit(std::string text) {
    Unit u;
    const std::string noident = ":noident";
    if (text.size() > noident.size() && text.compare(text.size() - noident.size(), noident.size(), noident) == 0) {
        u.ident = false;
        text.resize(text.size() - noident.size());
    }
    const size_t colon = text.rfind(':');
    const std::string address = colon == std::string::npos ? "" : text.substr(colon + 1);
    const bool digits =
        !address.empty() && address.size() <= 3 && address.find_first_not_of("0123456789") == std::string::npos;
    u.slave = digits ? std::stol(address) : 0;
    if (colon == 0 || u.slave < 1 || u.slave > 247)
        throw std::invalid_argument("--unit needs FILE.dat:SLAVE[:noident] with a slave address from 1 to 247, e.g. "
                                    "VXP-10.dat:5");
    u.file = text.substr(0, colon);
    return u;
}

// A time in seconds with a decimal comma or point, above 0.
double Seconds(const std::string& option, std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(v) || !(v > 0))
        throw std::invalid_argument(option + " needs a time in seconds above 0, e.g. 2,5");
    return v;
}


}  // namespace

int RunSim(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    long slave, baud, delay;
    double noise, settle = 0, crcErrors, silence, exceptions;
    std::string file, name;
    vyx::TSerialLine line;
    bool anyLine = true;
    std::vector<std::unique_ptr<TListener>> listeners;
    std::vector<Unit> units;  // the file's own first
    bool pty = true, echo = false, stray = false;
    try {
        const vyx::cli::Options o(argc, argv,
                                  {"--slave", "--baud", "--delay", "--noise", "--settle", "--crc-errors",
                                   "--silence", "--exceptions", "--name", "--mode", "--tcp", "--mbtcp", "--unit"},
                                  {"--listen-any", "--no-pty", "--echo", "--stray", "--no-ident"});
        if (o.Positional().size() != 1) throw std::invalid_argument("name one register description file");
        file = o.Positional()[0];
        slave = o.GetInt("--slave", 247, 1, 247);
        units.push_back({file, slave, !o.Has("--no-ident"), nullptr});
        for (const std::string& text : o.GetAll("--unit")) {
            Unit unit = ParseUnit(text);
            for (const Unit& other : units)
                if (other.slave == unit.slave)
                    throw std::invalid_argument("two units at slave " + std::to_string(unit.slave) +
                                                ": each needs an address of its own");
            units.push_back(std::move(unit));
        }
        baud = o.GetInt("--baud", 0, 0, 4000000);
        delay = o.GetInt("--delay", 0, 0, 60000);
        noise = static_cast<double>(o.GetInt("--noise", 1, 0, 1000000));
        if (o.Has("--settle")) settle = Seconds("--settle", o.Get("--settle", ""));
        crcErrors = o.GetProbability("--crc-errors");
        silence = o.GetProbability("--silence");
        exceptions = o.GetProbability("--exceptions");
        name = o.Get("--name", fs::path(file).stem().string());
        if (name.empty() || name.find('/') != std::string::npos) throw std::invalid_argument("bad --name");
        pty = !o.Has("--no-pty");
        if (!pty && !o.Has("--tcp") && !o.Has("--mbtcp"))
            throw std::invalid_argument("--no-pty needs --tcp or --mbtcp: the device must be served somewhere");
        echo = o.Has("--echo");
        stray = o.Has("--stray");
        for (const char* option : {"--mode", "--name", "--echo", "--stray"})
            if (!pty && o.Has(option))
                throw std::invalid_argument(std::string(option) + " is the terminal's; there is none with --no-pty");
        anyLine = !o.Has("--mode");
        if (!anyLine && !vyx::ParseMode(o.Get("--mode", ""), line)) throw std::invalid_argument("bad --mode");
        for (const char* option : {"--tcp", "--mbtcp"}) {
            if (!o.Has(option)) continue;
            listeners.push_back(std::make_unique<TListener>());
            listeners.back()->mbtcp = std::string(option) == "--mbtcp";
            Listen(option, o.Get(option, ""), o.Has("--listen-any"), *listeners.back());
        }
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vyx sim: %s\n\n%s", e.what(), kUsage);
        return kExitUsage;
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "vyx sim: %s\n", e.what());
        return kExitFailure;
    }

    std::random_device seedSource;
    for (Unit& unit : units) {
        vyx::TRegisterTree tree;
        try {
            vyx::LoadRegisterFile(tree, unit.file);
        } catch (const vyx::Error& e) {
            std::fprintf(stderr, "vyx sim: %s\n", e.what());
            return kExitFailure;
        }
        unit.device = std::make_unique<vyx::TSimDevice>(tree, noise, seedSource(), settle);
    }

    Terminal terminal;
    if (pty && !terminal.Open()) {
        std::fprintf(stderr, "vyx sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
        std::fprintf(stderr, "vyx sim: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    Link link;
    std::string linkError;
    if (pty && !link.Make(name, terminal.path, linkError)) {
        std::fprintf(stderr, "vyx sim: %s\n", linkError.c_str());
        close(pair[0]), close(pair[1]);
        return kExitFailure;
    }

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // A settling R0 begins its approach now, as the device is there.
    const auto started = std::chrono::steady_clock::now();
    if (pty) std::printf("%s\n", terminal.path.c_str());
    for (const auto& l : listeners) std::printf("%s\n", l->name.c_str());
    std::fflush(stdout);
    if (pty)
        std::fprintf(stderr, "vyx sim: %zu registers of %s as slave %ld on %s (link %s)\n",
                     units[0].device->RegisterCount(), file.c_str(), slave, terminal.path.c_str(), link.path.c_str());
    else {
        std::string served;
        for (const auto& l : listeners) served += (served.empty() ? "" : ", ") + l->name;
        std::fprintf(stderr, "vyx sim: %zu registers of %s as slave %ld on %s\n", units[0].device->RegisterCount(),
                     file.c_str(), slave, served.c_str());
    }
    for (size_t i = 1; i < units.size(); ++i)
        std::fprintf(stderr, "vyx sim: %zu registers of %s as slave %ld on the same line%s\n",
                     units[i].device->RegisterCount(), units[i].file.c_str(), units[i].slave,
                     units[i].ident ? "" : ", without functions 17 and 43");

    // The device name only labels libmodbus's context: its replies go through the socket pair.
    modbus_t* ctx = modbus_new_rtu(pty ? terminal.path.c_str() : "/dev/null", 19200, 'E', 8, 1);
    modbus_set_slave(ctx, static_cast<int>(slave));
    modbus_set_socket(ctx, pair[0]);
    std::mt19937 random(seedSource());
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    const auto happens = [&](double p) { return p > 0 && chance(random) < p; };

    Stats stats;
    std::mutex lock;  // the device, libmodbus and the counts, for the terminal and every connection
    const auto unitAt = [&units](uint8_t address) -> Unit* {
        for (Unit& unit : units)
            if (unit.slave == address) return &unit;
        return nullptr;
    };
    const TAnswer answer = [&](uint8_t* request, int n, uint8_t* reply) -> int {
        Unit* unit = nullptr;
        {
            // A unit answers only frames that are whole, intact and its own;
            // a frame for an address no unit has gets no reply, as on a line.
            const std::lock_guard<std::mutex> guard(lock);
            if (n < 4 || !vyx::CheckCrc(request, static_cast<uint16_t>(n)) || !(unit = unitAt(request[0]))) {
                ++stats.ignored;
                return 0;
            }
            ++stats.requests;
        }
        vyx::TSimDevice& device = *unit->device;
        if (baud > 0) {
            // The request took its line time before the device could answer.
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            SleepUntil(After(now, 11.0 * n / static_cast<double>(baud)));
        }
        if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        const std::lock_guard<std::mutex> guard(lock);
        if (happens(silence)) {
            ++stats.silenced;
            return 0;
        }

        const int function = request[1];
        const int address = n >= 6 ? request[2] << 8 | request[3] : 0;
        const int count = n >= 8 ? request[4] << 8 | request[5] : 0;
        const bool identify = function == vyx::kReportSlaveId || function == vyx::kEncapsulated;
        int exception = 0;
        if (happens(exceptions)) {
            exception = MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE;
        } else if (identify && !unit->ident) {
            exception = MODBUS_EXCEPTION_ILLEGAL_FUNCTION;
        } else if (function == 3 || function == 4) {
            if (!device.Readable(function, address, count)) exception = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
            device.VaryR0(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            if (!exception) device.CountReading(function, address, count);
        } else if (function == 6) {
            if (!device.Writable(address, 1)) exception = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
        } else if (function == 16) {
            if (!device.Writable(address, count)) exception = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
        }

        int length = 0;
        if (identify && !exception) {
            // Answered here: libmodbus would answer 17 with a text of its own.
            length = device.AnswerIdentity(request, n, reply);
        } else if (function == 8 && address == 1 && !exception) {
            // Restart communications: the reply echoes the request.
            std::memcpy(reply, request, static_cast<size_t>(n));
            length = n;
        } else {
            // libmodbus composes the reply into the socket pair; it goes to the
            // line from there, paced and possibly damaged.
            modbus_set_slave(ctx, static_cast<int>(unit->slave));
            if (exception)
                modbus_reply_exception(ctx, request, static_cast<unsigned>(exception));
            else
                modbus_reply(ctx, request, n, device.Mapping());
            if (!exception && function == 6) device.RunCommand(address, 1);
            if (!exception && function == 16) device.RunCommand(address, count);
            pollfd p{pair[1], POLLIN, 0};
            while (length < static_cast<int>(MODBUS_RTU_MAX_ADU_LENGTH) && poll(&p, 1, 0) == 1) {
                const ssize_t r = read(pair[1], reply + length, MODBUS_RTU_MAX_ADU_LENGTH - static_cast<size_t>(length));
                if (r <= 0) break;
                length += static_cast<int>(r);
            }
        }
        if (length == 0) {
            ++stats.silenced;
            return 0;
        }
        // A broken CRC is all the master sees of a reply, whatever it carried.
        if (happens(crcErrors)) {
            reply[length - 1] ^= 0x5A;
            ++stats.crcErrors;
        } else if (length < 2 || (reply[1] & 0x80) != 0) {
            ++stats.exceptions;
        } else {
            ++stats.good;
            stats.echoes += function == 8;
            stats.writes += function == 6 || function == 16;
        }
        return length;
    };

    std::vector<std::thread> servers;
    servers.reserve(listeners.size());
    for (const auto& l : listeners) servers.emplace_back([&l, &answer, baud] { Accept(*l, answer, baud); });

    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH + 8];
    TCarry carry;
    while (!pty && !gStop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    while (pty && !gStop) {
        int n = ReceiveFrame(terminal.master, request, sizeof request, carry);
        if (n <= 0) continue;
        const int expected = RequestLength(request, n);
        if (expected > 0 && n > expected) n = expected;  // what follows is dropped with the frame
        // The adapter hears what it sends, whoever it is for and whether or not the device understands.
        if (echo) Send(terminal.master, request, n, 0);
        // Sent at another line setting, the request is noise to the device.
        if (!anyLine && !LineMatches(terminal.master, line)) {
            const std::lock_guard<std::mutex> guard(lock);
            ++stats.misheard;
            continue;
        }
        const int length = answer(request, n, reply);
        if (length > 0 && stray) {
            const uint8_t nothing = 0x00;
            Send(terminal.master, &nothing, 1, baud);
        }
        if (length > 0) Send(terminal.master, reply, length, baud);
    }
    for (std::thread& t : servers) t.join();

    modbus_free(ctx);
    close(pair[0]);
    close(pair[1]);
    std::fprintf(stderr,
                 "vyx sim: %ld requests: %ld good replies (%ld writes, %ld echoes), %ld exceptions, "
                 "%ld with a broken CRC, %ld unanswered; %ld frames ignored, %ld at another line setting\n",
                 stats.requests, stats.good, stats.writes, stats.echoes, stats.exceptions, stats.crcErrors,
                 stats.silenced, stats.ignored, stats.misheard);
    return kExitOk;
}
