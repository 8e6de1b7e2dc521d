// How long a window keeps the user waiting: the window manager's ping
// (_NET_WM_PING) is sent to the window again and again, one at a time, and
// the longest time the window leaves one unanswered is what a user sees as a
// frozen window.
//
//   quellkamp-pingprobe launch TITLE -- COMMAND...
//       starts COMMAND, waits for its window titled TITLE to answer a ping
//       and prints "window ID", "pid PID" and "#window MS" (from the start
//       of COMMAND); COMMAND goes on running.
//   quellkamp-pingprobe watch WINDOW MIN_MS [--until-title T] [--until-file F]
//                       [--key KEY] -- COMMAND...
//       pings WINDOW while COMMAND (the user's action, say xdotool) runs and
//       afterwards: at least MIN_MS from the start, until a window titled T
//       is there or the file F exists, and until the window has answered
//       promptly for half a second. Prints "#KEY MS", the longest freeze.
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start, Clock::time_point now = Clock::now()) {
    return std::chrono::duration<double, std::milli>(now - start).count();
}

struct Display {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t protocols = 0, ping = 0, clientList = 0, netName = 0, utf8 = 0;
};

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

bool Connect(Display& display) {
    display.connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(display.connection)) return false;
    display.root = xcb_setup_roots_iterator(xcb_get_setup(display.connection)).data->root;
    // Where the ping answers come: Qt sends them to the root window for
    // StructureNotify and SubstructureRedirect, other toolkits for
    // SubstructureNotify.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(display.connection, display.root, XCB_CW_EVENT_MASK, &mask);
    display.protocols = Atom(display.connection, "WM_PROTOCOLS");
    display.ping = Atom(display.connection, "_NET_WM_PING");
    display.clientList = Atom(display.connection, "_NET_CLIENT_LIST");
    display.netName = Atom(display.connection, "_NET_WM_NAME");
    display.utf8 = Atom(display.connection, "UTF8_STRING");
    xcb_flush(display.connection);
    return true;
}

std::vector<std::uint32_t> Property(const Display& display, xcb_window_t window, xcb_atom_t name,
                                    xcb_atom_t type) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        display.connection,
        xcb_get_property(display.connection, 0, window, name, type, 0, 4096), nullptr);
    std::vector<std::uint32_t> values;
    if (reply && reply->format == 32) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

std::string Title(const Display& display, xcb_window_t window) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        display.connection,
        xcb_get_property(display.connection, 0, window, display.netName, display.utf8, 0, 1024),
        nullptr);
    std::string title;
    if (reply)
        title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     std::size_t(xcb_get_property_value_length(reply)));
    std::free(reply);
    return title;
}

// The managed window titled `title`, 0 when there is none.
xcb_window_t FindTitled(const Display& display, const std::string& title) {
    for (const std::uint32_t window :
         Property(display, display.root, display.clientList, XCB_ATOM_WINDOW))
        if (Title(display, window) == title) return window;
    return 0;
}

bool AdvertisesPing(const Display& display, xcb_window_t window) {
    for (const std::uint32_t atom : Property(display, window, display.protocols, XCB_ATOM_ATOM))
        if (atom == display.ping) return true;
    return false;
}

// One ping at a time; a new one goes out 5 ms after the last was answered.
class Pinger {
  public:
    Pinger(Display& display, xcb_window_t window) : display_(display), window_(window) {}

    // Sends, reads answers and returns the longest wait since `from` so far.
    void Step(int waitMs) {
        const auto now = Clock::now();
        if (!outstanding_ && MsSince(answered_, now) >= 5) Send(now);
        pollfd fd{xcb_get_file_descriptor(display_.connection), POLLIN, 0};
        poll(&fd, 1, waitMs);
        while (xcb_generic_event_t* event = xcb_poll_for_event(display_.connection)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == display_.protocols &&
                    message->data.data32[0] == display_.ping &&
                    message->data.data32[1] == sequence_ && outstanding_)
                    Answered(Clock::now());
            }
            std::free(event);
        }
    }
    // The longest time a ping stayed unanswered after `from`, the one still
    // out included.
    double LongestSince(Clock::time_point from) const {
        double longest = longest_;
        if (outstanding_) longest = std::max(longest, MsSince(std::max(sent_, from)));
        return longest;
    }
    void StartWatching(Clock::time_point from) {
        from_ = from;
        longest_ = 0;
    }
    bool EverAnswered() const { return answers_ > 0; }
    // Whether every ping of the last `ms` was answered within 50 ms.
    bool QuietFor(double ms) const {
        return !outstanding_ ? MsSince(lastSlow_) >= ms : MsSince(sent_) < 50 && MsSince(lastSlow_) >= ms;
    }

  private:
    void Send(Clock::time_point now) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window_;
        message.type = display_.protocols;
        message.data.data32[0] = display_.ping;
        message.data.data32[1] = ++sequence_;
        message.data.data32[2] = window_;
        xcb_send_event(display_.connection, 0, window_, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(display_.connection);
        sent_ = now;
        outstanding_ = true;
    }
    void Answered(Clock::time_point now) {
        outstanding_ = false;
        answered_ = now;
        ++answers_;
        const double waited = MsSince(std::max(sent_, from_), now);
        if (waited > longest_) longest_ = waited;
        if (MsSince(sent_, now) >= 50) lastSlow_ = now;
    }

    Display& display_;
    xcb_window_t window_;
    std::uint32_t sequence_ = 0;
    bool outstanding_ = false;
    long answers_ = 0;
    Clock::time_point sent_{}, answered_{}, from_{}, lastSlow_ = Clock::now();
    double longest_ = 0;
};

pid_t Start(char** command) {
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        execvp(command[0], command);
        _exit(127);
    }
    return pid;
}

int Launch(Display& display, const std::string& title, char** command) {
    const auto start = Clock::now();
    const pid_t pid = Start(command);
    if (pid < 0) return 1;
    xcb_window_t window = 0;
    while (!window) {
        if (MsSince(start) > 600000 || waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "pingprobe: no window titled %s\n", title.c_str());
            return 1;
        }
        usleep(2000);
        window = FindTitled(display, title);
    }
    if (!AdvertisesPing(display, window)) {
        std::fprintf(stderr, "pingprobe: the window does not advertise _NET_WM_PING\n");
        return 1;
    }
    Pinger pinger(display, window);
    pinger.StartWatching(start);
    while (!pinger.EverAnswered())
        pinger.Step(2);
    std::printf("window %u\npid %d\n#window %.1f\n", window, int(pid), MsSince(start));
    return 0;
}

struct WatchOptions {
    xcb_window_t window = 0;
    double minMs = 0;
    std::string untilTitle, untilFile, key = "freeze";
};

bool Done(const Display& display, const WatchOptions& options) {
    struct stat file;
    if (!options.untilFile.empty() && stat(options.untilFile.c_str(), &file) != 0) return false;
    return options.untilTitle.empty() || FindTitled(display, options.untilTitle) != 0;
}

int Watch(Display& display, const WatchOptions& options, char** command) {
    Pinger pinger(display, options.window);
    while (!pinger.EverAnswered())
        pinger.Step(2); // the window answers before the action
    const auto start = Clock::now();
    pinger.StartWatching(start);
    const pid_t pid = Start(command);
    bool running = pid > 0;
    for (;;) {
        pinger.Step(2);
        if (running && waitpid(pid, nullptr, WNOHANG) == pid) running = false;
        if (MsSince(start) > 600000) break;
        if (!running && MsSince(start) >= options.minMs && pinger.QuietFor(500) &&
            Done(display, options))
            break;
    }
    if (running) kill(pid, SIGKILL);
    std::printf("#%s %.1f\n", options.key.c_str(), pinger.LongestSince(start));
    return 0;
}

int Usage() {
    std::fputs("usage: quellkamp-pingprobe launch TITLE -- COMMAND...\n"
               "       quellkamp-pingprobe watch WINDOW MIN_MS [--until-title T] [--until-file F]"
               " [--key KEY] -- COMMAND...\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) return Usage();
    Display display;
    if (!Connect(display)) {
        std::fputs("pingprobe: cannot open the display\n", stderr);
        return 1;
    }
    const std::string mode = argv[1];
    int dashes = 0;
    for (int i = 2; i < argc && !dashes; ++i)
        if (std::strcmp(argv[i], "--") == 0) dashes = i;
    if (!dashes || dashes + 1 >= argc) return Usage();
    if (mode == "launch" && dashes == 3) return Launch(display, argv[2], argv + dashes + 1);
    if (mode != "watch" || dashes < 4) return Usage();
    WatchOptions options;
    options.window = xcb_window_t(std::strtoul(argv[2], nullptr, 10));
    options.minMs = std::atof(argv[3]);
    for (int i = 4; i + 1 < dashes; i += 2) {
        const std::string option = argv[i];
        if (option == "--until-title")
            options.untilTitle = argv[i + 1];
        else if (option == "--until-file")
            options.untilFile = argv[i + 1];
        else if (option == "--key")
            options.key = argv[i + 1];
        else
            return Usage();
    }
    return Watch(display, options, argv + dashes + 1);
}
