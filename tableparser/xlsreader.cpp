// Legacy Excel (BIFF / compound document) workbooks through FreeXL.
//
// FreeXL 1.0 only opens a path, so the bytes go to a private temporary file
// (mkstemp, mode 0600, in $TMPDIR or /tmp), removed once the workbook is read.
//
// FreeXL 1.0.6 trusts lengths and skips taken from damaged records: a shared
// string table can send it reading hundreds of megabytes past its buffer, which
// ends the process (found by fuzzing). A bank statement must never take the
// program down, so FreeXL runs in a child process that writes the cells back
// through a pipe; a child that crashes, hangs or says too much gives no rows.
// The child is this same executable started afresh (/proc/self/exe) with the
// file named in CORVINA_XLS_CHILD: a constructor below reads it and exits
// before main. A plain fork() would copy the locks other threads hold at that
// moment (allocator, iconv) and could hang in the child.
// Inside the child it also runs on a thread whose stack starts with zeroed
// headroom: FreeXL can hand iconv a length from a damaged record while the
// string sits in a small stack buffer, and that over-read must stay in mapped
// memory.
#include "sheetgrid.h"
#include "tablereaders.h"

#include <freexl.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <pthread.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace corvina::tableparser {

namespace {

bool writeAll(int fd, const char *p, std::size_t left)
{
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

class TempFile
{
public:
    explicit TempFile(std::string_view bytes)
    {
        const char *dir = std::getenv("TMPDIR");
        if (dir == nullptr || *dir == '\0')
            dir = "/tmp";
        m_path = std::string(dir) + "/corvina-xls-XXXXXX";
        const int fd = mkostemp(m_path.data(), O_CLOEXEC);
        if (fd < 0) {
            m_path.clear();
            return;
        }
        bool ok = writeAll(fd, bytes.data(), bytes.size());
        if (::close(fd) != 0)
            ok = false;
        if (!ok)
            remove();
    }
    ~TempFile() { remove(); }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    const std::string &path() const { return m_path; }

    void remove()
    {
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
            m_path.clear();
        }
    }

private:
    std::string m_path;
};

class Handle
{
public:
    ~Handle()
    {
        if (m_handle != nullptr)
            freexl_close(m_handle);
    }
    const void *get() const { return m_handle; }
    const void **out() { return &m_handle; }

private:
    const void *m_handle = nullptr;
};

struct NumberCell {
    unsigned int row;
    unsigned short col;
    double value;
};

// Text of a non-numeric cell.
std::string cellText(const FreeXL_CellValue &value)
{
    switch (value.type) {
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_TIME:
        return value.value.text_value != nullptr ? std::string(value.value.text_value) : std::string();
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME: {
        // "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS"; the time of day is dropped.
        if (value.value.text_value == nullptr)
            return {};
        const std::string text(value.value.text_value);
        return text.substr(0, text.find(' '));
    }
    default:
        return {};
    }
}

void readWorkbook(const char *path, Rows &rows)
{
    Handle handle;
    const int opened = freexl_open(path, handle.out());
    if (opened != FREEXL_OK || handle.get() == nullptr)
        return;

    unsigned int info = 0;
    // Protected workbooks are stored encrypted: their cells are noise.
    if (freexl_get_info(handle.get(), FREEXL_BIFF_PASSWORD, &info) != FREEXL_OK || info != FREEXL_BIFF_PLAIN)
        return;
    unsigned int sheetCount = 0;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK)
        return;

    for (unsigned int sheet = 0; sheet < sheetCount && sheet <= 0xFFFF; ++sheet) {
        if (freexl_select_active_worksheet(handle.get(), static_cast<unsigned short>(sheet)) != FREEXL_OK)
            continue;
        unsigned int rowCount = 0;
        unsigned short colCount = 0;
        if (freexl_worksheet_dimensions(handle.get(), &rowCount, &colCount) != FREEXL_OK)
            continue;
        // BIFF8 ends at 65536 x 256; anything beyond is a damaged DIMENSION.
        if (std::uint64_t{rowCount} * colCount > std::uint64_t{65536} * 256)
            continue;
        SheetGrid grid;
        std::vector<NumberCell> numbers;
        std::set<unsigned short> fractionalColumns;
        for (unsigned int r = 0; r < rowCount; ++r) {
            for (unsigned short c = 0; c < colCount; ++c) {
                FreeXL_CellValue value;
                if (freexl_get_cell_value(handle.get(), r, c, &value) != FREEXL_OK)
                    continue;
                if (value.type == FREEXL_CELL_NULL)
                    continue;
                if (value.type == FREEXL_CELL_INT || value.type == FREEXL_CELL_DOUBLE) {
                    const double number = value.type == FREEXL_CELL_INT ? double(value.value.int_value)
                                                                         : value.value.double_value;
                    if (std::isfinite(number) && number != std::trunc(number))
                        fractionalColumns.insert(c);
                    numbers.push_back({r, c, number});
                    continue;
                }
                grid.add(cellKey(r, c), cellText(value));
            }
        }
        // FreeXL does not tell the number format, so a column is judged by
        // its values: one that holds fractional numbers holds money, and its
        // whole amounts get their decimals back. Other columns (references,
        // identity numbers, counts) keep plain digits.
        for (const NumberCell &cell : numbers) {
            const bool money = fractionalColumns.count(cell.col) != 0 && cell.value == std::trunc(cell.value);
            grid.add(cellKey(cell.row, cell.col), money ? decimalNumberText(cell.value) : numberText(cell.value));
        }
        grid.appendTo(rows);
    }
}

struct Job {
    const char *path;
    Rows rows;
    std::exception_ptr error;
};

// Record strings are at most 64 Ki characters; twice that in bytes.
constexpr std::size_t kHeadroom = 256 * 1024;
constexpr std::size_t kThreadStack = 4 * 1024 * 1024;

__attribute__((noinline)) void runJob(Job &job)
{
    try {
        readWorkbook(job.path, job.rows);
    } catch (...) {
        job.error = std::current_exception();
    }
}

void *jobThread(void *arg)
{
    volatile unsigned char headroom[kHeadroom] = {};
    runJob(*static_cast<Job *>(arg));
    headroom[0] = headroom[kHeadroom - 1]; // keeps the headroom in this frame
    return nullptr;
}

void readInThisProcess(const char *path, Rows &rows)
{
    Job job{path, {}, nullptr};
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return;
    pthread_attr_setstacksize(&attr, kThreadStack);
    pthread_t thread;
    const int created = pthread_create(&thread, &attr, jobThread, &job);
    pthread_attr_destroy(&attr);
    if (created != 0)
        return;
    pthread_join(thread, nullptr);
    if (job.error)
        std::rethrow_exception(job.error);
    for (Row &row : job.rows)
        rows.push_back(std::move(row));
}

// The child's answer: per row a cell count, per cell a length and the bytes,
// all counts as native 32-bit integers (both ends are this program).
void putCount(std::string &out, std::size_t n)
{
    const auto v = static_cast<std::uint32_t>(n);
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

std::string encodeRows(const Rows &rows)
{
    std::string out;
    for (const Row &row : rows) {
        putCount(out, row.size());
        for (const std::string &cell : row) {
            putCount(out, cell.size());
            out += cell;
        }
    }
    return out;
}

bool takeCount(std::string_view &in, std::size_t &n)
{
    std::uint32_t v;
    if (in.size() < sizeof v)
        return false;
    std::memcpy(&v, in.data(), sizeof v);
    in.remove_prefix(sizeof v);
    n = v;
    return true;
}

// All or nothing: a truncated or inconsistent answer gives no rows.
bool decodeRows(std::string_view in, Rows &out)
{
    Rows rows;
    std::size_t cells = 0;
    while (!in.empty()) {
        std::size_t count;
        if (!takeCount(in, count) || count > in.size() / sizeof(std::uint32_t))
            return false;
        cells += count;
        if (cells > kMaxGridCells)
            return false;
        Row row;
        row.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            std::size_t length;
            if (!takeCount(in, length) || length > in.size())
                return false;
            row.emplace_back(in.substr(0, length));
            in.remove_prefix(length);
        }
        rows.push_back(std::move(row));
    }
    for (Row &row : rows)
        out.push_back(std::move(row));
    return true;
}

constexpr const char *kChildVariable = "CORVINA_XLS_CHILD";

// The child's whole life: read the named workbook, write the answer to
// standard output, exit without running main or any exit handler.
__attribute__((constructor)) void xlsChildEntry()
{
    const char *path = std::getenv(kChildVariable);
    if (path == nullptr)
        return;
    // A fault in FreeXL ends the child quietly; crash reporters and
    // sanitizers speak for the parent, not for this.
    for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        std::signal(sig, SIG_DFL);
    int status = 1;
    try {
        Rows rows;
        readInThisProcess(path, rows);
        const std::string answer = encodeRows(rows);
        if (writeAll(STDOUT_FILENO, answer.data(), answer.size()))
            status = 0;
    } catch (...) {
    }
    _exit(status);
}

// Starts the child on the file; returns its pid, or -1.
pid_t spawnChild(const std::string &path, int out)
{
    const std::string variable = std::string(kChildVariable) + '=' + path;
    std::vector<char *> env;
    for (char **e = ::environ; e != nullptr && *e != nullptr; ++e) {
        if (std::strncmp(*e, kChildVariable, std::strlen(kChildVariable)) != 0)
            env.push_back(*e);
    }
    env.push_back(const_cast<char *>(variable.c_str()));
    env.push_back(nullptr);
    char name[] = "corvina-xls";
    char *argv[] = {name, nullptr};

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, env.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Longest a workbook may take; a statement is read in well under a second.
constexpr int kChildTimeoutMs = 60000;
// Most the child may answer; the grid bound keeps real answers far below.
constexpr std::size_t kMaxAnswer = 512u * 1024 * 1024;

} // namespace

void readXls(std::string_view bytes, Rows &rows)
{
    TempFile file(bytes);
    if (file.path().empty())
        return;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    const pid_t child = spawnChild(file.path(), fds[1]);
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        return;
    }

    std::string answer;
    bool complete = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildTimeoutMs);
    char buffer[65536];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        if (n == 0) {
            complete = true;
            break;
        }
        if (answer.size() + static_cast<std::size_t>(n) > kMaxAnswer)
            break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (!complete)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return;
    decodeRows(answer, rows);
}

} // namespace corvina::tableparser
