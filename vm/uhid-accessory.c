// SPDX-License-Identifier: MIT
// Virtual accessories on /dev/uhid, for the VM lab. Each one is a HID device
// on the USB bus with vendor 0x1209 and a given product ID; the kernel gives
// it a real hidraw node. Every SET_REPORT it receives is logged with a
// monotonic time stamp and the bytes exactly as the kernel hands them over.
//
//   uhid-accessory -c FIFO -l LOG [COMMAND]...
//
// Commands come from the arguments and then, one a line, from FIFO:
//   plug NAME PID [VID]   create an accessory (hex IDs; VID defaults to 1209),
//                         or plug a known NAME in again with its settings
//   unplug NAME           destroy it (UHID_DESTROY)
//   answer NAME MODE      how it answers SET_REPORT: ok, error, never,
//                         late MS, or vanish (unplugs instead of answering)
//   input NAME MS         an input report every MS ms; 0 is silent (default)
//   keyboards N           N unrelated HID keyboards (other vendors)
//   at MS COMMAND         run COMMAND MS ms from now
//   mark TEXT             copy TEXT into the log
//   quit
// Log lines: "SECONDS.MICROS EVENT NAME ...", e.g.
//   12.345678 SET_REPORT hb rnum=2 rtype=feature size=4 data=02 ff 80 00 answer=ok
#include <errno.h>
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define MAX_DEVICES 128
#define MAX_TIMERS 64

enum answer { ANSWER_OK, ANSWER_ERROR, ANSWER_LATE, ANSWER_NEVER, ANSWER_VANISH };
static const char *const answer_names[] = {"ok", "error", "late", "never", "vanish"};

struct device {
    char name[32];
    unsigned vendor, product;
    int keyboard;
    int fd; // -1 while unplugged
    enum answer answer;
    int late_ms;
    int input_ms;
    long long next_input_us;
    unsigned input_count;
    int late_pending; // a SET_REPORT waiting for its late answer
    unsigned late_id;
    long long late_due_us;
    unsigned char feature[4]; // the last feature report, for GET_REPORT
};

struct timer {
    long long due_us;
    char command[160];
};

static struct device devices[MAX_DEVICES];
static int device_count;
static struct timer timers[MAX_TIMERS];
static int timer_count;
static FILE *log_file;
static int quitting;

// Vendor page: input report 1 (8 bytes), feature report 2 (3 bytes: red, blue, green).
static const unsigned char accessory_descriptor[] = {
    0x06, 0x00, 0xff, 0x09, 0x01, 0xa1, 0x01,       // vendor page, application collection
    0x85, 0x01, 0x09, 0x02, 0x15, 0x00, 0x26, 0xff, // report 1, 0..255
    0x00, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02,       // 8 bytes, input
    0x85, 0x02, 0x09, 0x03, 0x95, 0x03, 0xb1, 0x02, // report 2, 3 bytes, feature
    0xc0,
};

// A plain boot keyboard, as a sim-racing PC has several of.
static const unsigned char keyboard_descriptor[] = {
    0x05, 0x01, 0x09, 0x06, 0xa1, 0x01, 0x05, 0x07, 0x19, 0xe0, 0x29, 0xe7, 0x15,
    0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08,
    0x81, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19,
    0x00, 0x29, 0x65, 0x81, 0x00, 0xc0,
};

static long long now_us(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

static void logf_(const char *format, ...)
{
    const long long t = now_us();
    va_list args;
    fprintf(log_file, "%lld.%06lld ", t / 1000000, t % 1000000);
    va_start(args, format);
    vfprintf(log_file, format, args);
    va_end(args);
    fputc('\n', log_file);
    fflush(log_file);
}

static struct device *find_device(const char *name)
{
    for (int i = 0; i < device_count; ++i) {
        if (strcmp(devices[i].name, name) == 0)
            return &devices[i];
    }
    return NULL;
}

static int send_event(struct device *d, const struct uhid_event *ev)
{
    if (write(d->fd, ev, sizeof *ev) != (ssize_t)sizeof *ev) {
        logf_("ERROR %s write: %s", d->name, strerror(errno));
        return -1;
    }
    return 0;
}

static void plug(struct device *d)
{
    if (d->fd >= 0)
        return;
    d->fd = open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (d->fd < 0) {
        logf_("ERROR %s open /dev/uhid: %s", d->name, strerror(errno));
        return;
    }
    struct uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_CREATE2;
    snprintf((char *)ev.u.create2.name, sizeof ev.u.create2.name, "%s %s",
             d->keyboard ? "Virtual keyboard" : "Brimsel virtual", d->name);
    snprintf((char *)ev.u.create2.phys, sizeof ev.u.create2.phys, "uhid/%s", d->name);
    snprintf((char *)ev.u.create2.uniq, sizeof ev.u.create2.uniq, "VA-%s", d->name);
    const unsigned char *rd = d->keyboard ? keyboard_descriptor : accessory_descriptor;
    const size_t rd_size = d->keyboard ? sizeof keyboard_descriptor : sizeof accessory_descriptor;
    memcpy(ev.u.create2.rd_data, rd, rd_size);
    ev.u.create2.rd_size = (unsigned short)rd_size;
    ev.u.create2.bus = 0x03; // BUS_USB
    ev.u.create2.vendor = d->vendor;
    ev.u.create2.product = d->product;
    ev.u.create2.version = 0x0100;
    if (send_event(d, &ev) < 0) {
        close(d->fd);
        d->fd = -1;
        return;
    }
    d->late_pending = 0;
    d->next_input_us = now_us() + (long long)d->input_ms * 1000;
    logf_("PLUG %s vendor=%04x product=%04x", d->name, d->vendor, d->product);
}

static void unplug(struct device *d)
{
    if (d->fd < 0)
        return;
    struct uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_DESTROY;
    send_event(d, &ev);
    close(d->fd);
    d->fd = -1;
    d->late_pending = 0;
    logf_("UNPLUG %s", d->name);
}

static struct device *add_device(const char *name, unsigned vendor, unsigned product, int keyboard)
{
    if (device_count == MAX_DEVICES) {
        logf_("ERROR too many devices");
        return NULL;
    }
    struct device *d = &devices[device_count++];
    memset(d, 0, sizeof *d);
    snprintf(d->name, sizeof d->name, "%s", name);
    d->vendor = vendor;
    d->product = product;
    d->keyboard = keyboard;
    d->fd = -1;
    return d;
}

static void answer_set_report(struct device *d, unsigned id, int err)
{
    struct uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_SET_REPORT_REPLY;
    ev.u.set_report_reply.id = id;
    ev.u.set_report_reply.err = (unsigned short)err;
    send_event(d, &ev);
}

static void on_set_report(struct device *d, const struct uhid_set_report_req *req)
{
    char hex[3 * 64 + 1] = "";
    const unsigned size = req->size < 64 ? req->size : 64;
    for (unsigned i = 0; i < size; ++i)
        snprintf(hex + (i ? 3 * i - 1 : 0), 4, i ? " %02x" : "%02x", req->data[i]);
    logf_("SET_REPORT %s rnum=%u rtype=%s size=%u data=%s answer=%s", d->name, req->rnum,
          req->rtype == UHID_FEATURE_REPORT ? "feature" : "other", req->size, hex,
          answer_names[d->answer]);
    if (req->rtype == UHID_FEATURE_REPORT && req->size == 4)
        memcpy(d->feature, req->data, 4);
    switch (d->answer) {
    case ANSWER_OK:
        answer_set_report(d, req->id, 0);
        break;
    case ANSWER_ERROR:
        answer_set_report(d, req->id, EIO);
        break;
    case ANSWER_LATE:
        d->late_pending = 1;
        d->late_id = req->id;
        d->late_due_us = now_us() + (long long)d->late_ms * 1000;
        break;
    case ANSWER_NEVER:
        break;
    case ANSWER_VANISH:
        unplug(d);
        break;
    }
}

static void on_get_report(struct device *d, const struct uhid_get_report_req *req)
{
    struct uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_GET_REPORT_REPLY;
    ev.u.get_report_reply.id = req->id;
    if (!d->keyboard && req->rnum == 2 && req->rtype == UHID_FEATURE_REPORT) {
        d->feature[0] = 2;
        memcpy(ev.u.get_report_reply.data, d->feature, 4);
        ev.u.get_report_reply.size = 4;
    } else {
        ev.u.get_report_reply.err = EIO;
    }
    logf_("GET_REPORT %s rnum=%u", d->name, req->rnum);
    send_event(d, &ev);
}

static void read_events(struct device *d)
{
    struct uhid_event ev;
    while (d->fd >= 0) {
        memset(&ev, 0, sizeof ev);
        const ssize_t n = read(d->fd, &ev, sizeof ev);
        if (n <= 0)
            return;
        switch (ev.type) {
        case UHID_START:
            logf_("START %s", d->name);
            break;
        case UHID_STOP:
            logf_("STOP %s", d->name);
            break;
        case UHID_OPEN:
            logf_("OPEN %s", d->name);
            break;
        case UHID_CLOSE:
            logf_("CLOSE %s", d->name);
            break;
        case UHID_OUTPUT:
            logf_("OUTPUT %s size=%u", d->name, ev.u.output.size);
            break;
        case UHID_GET_REPORT:
            on_get_report(d, &ev.u.get_report);
            break;
        case UHID_SET_REPORT:
            on_set_report(d, &ev.u.set_report);
            break;
        default:
            logf_("EVENT %s type=%u", d->name, ev.type);
            break;
        }
    }
}

static void send_input(struct device *d)
{
    struct uhid_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = UHID_INPUT2;
    ev.u.input2.size = 9;
    ev.u.input2.data[0] = 1; // report ID
    ev.u.input2.data[1] = (unsigned char)++d->input_count;
    send_event(d, &ev);
}

static void run_command(char *line);

static void schedule(int ms, const char *command)
{
    if (timer_count == MAX_TIMERS) {
        logf_("ERROR too many timers");
        return;
    }
    timers[timer_count].due_us = now_us() + (long long)ms * 1000;
    snprintf(timers[timer_count].command, sizeof timers[timer_count].command, "%s", command);
    ++timer_count;
}

static void run_command(char *line)
{
    line[strcspn(line, "\r\n")] = '\0';
    char *rest = NULL;
    char *verb = strtok_r(line, " \t", &rest);
    if (!verb || verb[0] == '#')
        return;
    char *arg1 = strtok_r(NULL, " \t", &rest);
    char *arg2 = strtok_r(NULL, " \t", &rest);
    char *arg3 = strtok_r(NULL, " \t", &rest);
    struct device *d = arg1 ? find_device(arg1) : NULL;

    if (strcmp(verb, "plug") == 0 && arg1) {
        if (!d && arg2)
            d = add_device(arg1, arg3 ? (unsigned)strtoul(arg3, NULL, 16) : 0x1209,
                           (unsigned)strtoul(arg2, NULL, 16), 0);
        if (d)
            plug(d);
        else
            logf_("ERROR plug %s: no product ID", arg1);
    } else if (strcmp(verb, "unplug") == 0 && d) {
        unplug(d);
    } else if (strcmp(verb, "answer") == 0 && d && arg2) {
        for (int i = 0; i <= ANSWER_VANISH; ++i) {
            if (strcmp(arg2, answer_names[i]) == 0)
                d->answer = (enum answer)i;
        }
        d->late_ms = arg3 ? atoi(arg3) : 0;
        logf_("ANSWER %s %s", d->name, answer_names[d->answer]);
    } else if (strcmp(verb, "input") == 0 && d && arg2) {
        d->input_ms = atoi(arg2);
        d->next_input_us = now_us() + (long long)d->input_ms * 1000;
    } else if (strcmp(verb, "keyboards") == 0 && arg1) {
        const int n = atoi(arg1);
        for (int i = 0; i < n; ++i) {
            char name[32];
            snprintf(name, sizeof name, "kbd%d", device_count);
            struct device *k = add_device(name, 0x046d, 0xc300 + (unsigned)(device_count % 256), 1);
            if (k)
                plug(k);
        }
    } else if (strcmp(verb, "at") == 0 && arg1 && arg2) {
        // Put the command back together from its words.
        char command[160];
        snprintf(command, sizeof command, "%s%s%s%s%s", arg2, arg3 ? " " : "", arg3 ? arg3 : "",
                 *rest ? " " : "", rest);
        schedule(atoi(arg1), command);
    } else if (strcmp(verb, "mark") == 0) {
        logf_("MARK %s%s%s", arg1 ? arg1 : "", arg2 ? " " : "", arg2 ? arg2 : "");
    } else if (strcmp(verb, "quit") == 0) {
        quitting = 1;
    } else {
        logf_("ERROR unknown command: %s %s", verb, arg1 ? arg1 : "");
    }
}

static void read_commands(int fd, char *buffer, size_t *used, size_t size)
{
    const ssize_t n = read(fd, buffer + *used, size - *used - 1);
    if (n <= 0)
        return;
    *used += (size_t)n;
    buffer[*used] = '\0';
    char *start = buffer;
    char *end;
    while ((end = strchr(start, '\n'))) {
        *end = '\0';
        run_command(start);
        start = end + 1;
    }
    *used = strlen(start);
    memmove(buffer, start, *used + 1);
    if (*used == size - 1)
        *used = 0; // a line longer than the buffer is dropped
}

// Runs due timers, late answers and input reports; returns the poll time-out.
static int run_due(void)
{
    const long long now = now_us();
    long long next = now + 1000000;
    for (int i = 0; i < timer_count;) {
        if (timers[i].due_us <= now) {
            char command[160];
            memcpy(command, timers[i].command, sizeof command);
            timers[i] = timers[--timer_count];
            run_command(command);
        } else {
            if (timers[i].due_us < next)
                next = timers[i].due_us;
            ++i;
        }
    }
    for (int i = 0; i < device_count; ++i) {
        struct device *d = &devices[i];
        if (d->fd < 0)
            continue;
        if (d->late_pending) {
            if (d->late_due_us <= now) {
                d->late_pending = 0;
                answer_set_report(d, d->late_id, 0);
                logf_("LATE_ANSWER %s", d->name);
            } else if (d->late_due_us < next) {
                next = d->late_due_us;
            }
        }
        if (d->input_ms > 0) {
            if (d->next_input_us <= now) {
                send_input(d);
                d->next_input_us = now + (long long)d->input_ms * 1000;
            }
            if (d->next_input_us < next)
                next = d->next_input_us;
        }
    }
    const long long wait_us = next - now_us();
    return wait_us <= 0 ? 0 : (int)((wait_us + 999) / 1000);
}

int main(int argc, char **argv)
{
    const char *fifo = NULL;
    const char *log_path = NULL;
    int opt;
    while ((opt = getopt(argc, argv, "c:l:")) != -1) {
        if (opt == 'c')
            fifo = optarg;
        else if (opt == 'l')
            log_path = optarg;
        else
            return 2;
    }
    if (!fifo || !log_path) {
        fprintf(stderr, "usage: uhid-accessory -c FIFO -l LOG [COMMAND]...\n");
        return 2;
    }
    log_file = fopen(log_path, "a");
    if (!log_file) {
        perror(log_path);
        return 1;
    }
    if (mkfifo(fifo, 0600) < 0 && errno != EEXIST) {
        perror(fifo);
        return 1;
    }
    // Read and write, so that the FIFO never reports end of file between writers.
    const int control = open(fifo, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (control < 0) {
        perror(fifo);
        return 1;
    }
    for (int i = optind; i < argc; ++i) {
        char command[160];
        snprintf(command, sizeof command, "%s", argv[i]);
        run_command(command);
    }
    logf_("READY");

    char buffer[4096];
    size_t used = 0;
    while (!quitting) {
        const int timeout = run_due();
        struct pollfd fds[MAX_DEVICES + 1];
        struct device *owners[MAX_DEVICES + 1];
        int n = 0;
        fds[n].fd = control;
        fds[n].events = POLLIN;
        owners[n++] = NULL;
        for (int i = 0; i < device_count; ++i) {
            if (devices[i].fd < 0)
                continue;
            fds[n].fd = devices[i].fd;
            fds[n].events = POLLIN;
            owners[n++] = &devices[i];
        }
        if (poll(fds, (nfds_t)n, timeout) < 0 && errno != EINTR)
            break;
        for (int i = 1; i < n; ++i) {
            if (fds[i].revents & POLLIN)
                read_events(owners[i]);
        }
        if (fds[0].revents & POLLIN)
            read_commands(control, buffer, &used, sizeof buffer);
    }
    for (int i = 0; i < device_count; ++i)
        unplug(&devices[i]);
    logf_("QUIT");
    return 0;
}
