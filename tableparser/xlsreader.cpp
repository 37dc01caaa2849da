// Legacy Excel (BIFF / compound document) workbooks through FreeXL.
//
// FreeXL 1.0 only opens a path, so the bytes go to a private temporary file
// (mkstemp, mode 0600, in $TMPDIR or /tmp). The file is removed as soon as
// FreeXL has opened it; FreeXL keeps what it needs in memory.
//
// FreeXL 1.0.6 can hand iconv a string length taken from a damaged record
// while the string sits in a small stack buffer, so it reads past that buffer
// towards the top of the stack (found by fuzzing). FreeXL therefore runs on a
// thread of its own whose stack starts with zeroed headroom: the over-read
// stays in mapped memory and sees no other caller's data.
#include "sheetgrid.h"
#include "tablereaders.h"

#include <freexl.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <pthread.h>
#include <set>
#include <string>
#include <unistd.h>

namespace corvina::tableparser {

namespace {

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
        const char *p = bytes.data();
        std::size_t left = bytes.size();
        bool ok = true;
        while (left > 0) {
            const ssize_t n = ::write(fd, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = false;
                break;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
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

void readWorkbook(std::string_view bytes, Rows &rows)
{
    TempFile file(bytes);
    if (file.path().empty())
        return;

    Handle handle;
    const int opened = freexl_open(file.path().c_str(), handle.out());
    file.remove();
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
    std::string_view bytes;
    Rows rows;
    std::exception_ptr error;
};

// Record strings are at most 64 Ki characters; twice that in bytes.
constexpr std::size_t kHeadroom = 256 * 1024;
constexpr std::size_t kThreadStack = 4 * 1024 * 1024;

__attribute__((noinline)) void runJob(Job &job)
{
    try {
        readWorkbook(job.bytes, job.rows);
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

} // namespace

void readXls(std::string_view bytes, Rows &rows)
{
    Job job{bytes, {}, nullptr};
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

} // namespace corvina::tableparser
