// A stand-in for the host application, built by clang for the MSVC target:
// it calls isorelink.qpi the way a host built on the string framework does,
// through member-function pointers of a class of its own, with string
// objects passed by value and string results constructed in its storage.
//
//   framework_host queries FOLDER     the four queries, both jobs without an
//                                     image, the resources, heap and stack
//   framework_host jobs KIT REF       both jobs on each kind of kit image
//
// Folders come without their trailing backslash. Exit 0 passed, 1 failed,
// 77 skipped.
#include "runtime.h"

namespace {

constexpr int kPass = 0, kFail = 1, kSkip = 77;
constexpr const char* kStatusPath = "C:\\WINDOWS\\Temp\\errorcode.erc";
constexpr char kFilter[] = "ISO File(*.ISO)\x01*.ISO\x01"
                            "All files (*.*)\x01*.*\x01";
constexpr char kTitle[] = "PS2 ZoVod5 |PSP UMD ISO Brevix v1.05 *.ISO";
static_assert(sizeof kFilter - 1 == 42);

// ---------------------------------------------------------------- output

void say(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    const int size = _vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    uint32 written = 0;
    WriteFile(GetStdHandle(kStdOutput), line, size < 0 ? sizeof line - 1 : static_cast<uint32>(size), &written,
              nullptr);
}

int g_checks = 0, g_failures = 0;

bool check(bool ok, const char* what) {
    ++g_checks;
    if (!ok) {
        ++g_failures;
        say("FAIL %s\n", what);
    }
    return ok;
}

bool check_equal(long got, long want, const char* what) {
    if (!check(got == want, what)) say("     got %ld (0x%lx), want %ld (0x%lx)\n", got, got, want, want);
    return got == want;
}

int finish(const char* group) {
    say("[%s] %d checks, %d failed\n", group, g_checks, g_failures);
    return g_failures == 0 ? kPass : kFail;
}

// ------------------------------------------------ the framework's strings

struct TextData {
    volatile long count;
    int length;
    int allocated;
    char* chars() { return reinterpret_cast<char*>(this + 1); }
};
static_assert(sizeof(TextData) == 12);

// The shared empty string: every empty object points at it, nobody counts it.
struct {
    TextData data;
    char chars[4];
} g_empty = {{-1, 0, 0}, {0, 0, 0, 0}};

TextData* data_of(char* chars) { return reinterpret_cast<TextData*>(chars) - 1; }

// A block on msvcrt's heap holding TEXT, with room for ALLOCATED characters.
char* new_block(const char* text, int length, int allocated, long count = 1) {
    auto* data = static_cast<TextData*>(malloc(sizeof(TextData) + static_cast<size_t>(allocated) + 1));
    data->count = count;
    data->length = length;
    data->allocated = allocated;
    memset(data->chars(), 0, static_cast<size_t>(allocated) + 1);
    memcpy(data->chars(), text, static_cast<size_t>(length));
    return data->chars();
}

// The framework's string object: one pointer to the characters. A copy
// shares the block; the last one to go frees it to msvcrt's heap.
class Text {
public:
    Text() : chars_(g_empty.data.chars()) {}
    Text(const char* text) : Text(text, static_cast<int>(strlen(text))) {}
    Text(const char* text, int length) : chars_(length == 0 ? g_empty.data.chars() : new_block(text, length, length)) {}
    Text(const Text& other) : chars_(other.chars_) {
        if (data()->count >= 0) InterlockedIncrement(&data()->count);
        else chars_ = g_empty.data.chars();  // a locked block is never shared; our tests have none
    }
    Text& operator=(const Text&) = delete;
    ~Text() {
        if (chars_ != g_empty.data.chars() && InterlockedDecrement(&data()->count) <= 0) free(data());
    }
    static Text adopt(char* chars) { return Text(chars, Adopt{}); }

    TextData* data() const { return data_of(chars_); }
    char* chars() const { return chars_; }
    long count() const { return data()->count; }
    bool is(const char* text, int length) const {
        return data()->length == length && memcmp(chars_, text, static_cast<size_t>(length)) == 0 &&
               chars_[length] == '\0';
    }

private:
    struct Adopt {};
    Text(char* chars, Adopt) : chars_(chars) {}
    char* chars_;
};

// ------------------------------------------------------ the host's object

// The host keeps its plugins' entry points as members of a class of its own;
// the object it calls them on means nothing to the module.
struct PluginObject {
    int unused;
};
using TextQuery = Text (PluginObject::*)(Text);
using NumberQuery = int (PluginObject::*)(int);
using Job = void (PluginObject::*)(Text, Text, Text, Text);
static_assert(sizeof(TextQuery) == 4 && sizeof(Job) == 4, "single inheritance: a member pointer is a code address");

template <class Member>
Member as_member(void (*address)()) {
    Member member;
    memcpy(&member, &address, sizeof member);
    return member;
}

struct Module {
    Handle handle = nullptr;
    void (*address[6])() = {OnOpen1, Onfileid, Onpadding, Onopencheck, EXTRACTLBA, REBUILDLBA};
    TextQuery open_filter = as_member<TextQuery>(OnOpen1), title = as_member<TextQuery>(Onfileid);
    NumberQuery padding = as_member<NumberQuery>(Onpadding), open_check = as_member<NumberQuery>(Onopencheck);
    Job extract = as_member<Job>(EXTRACTLBA), rebuild = as_member<Job>(REBUILDLBA);
};

// ------------------------------------------------------------------ heap

// What msvcrt's heap holds in use: blocks and bytes.
struct Census {
    long blocks = 0, bytes = 0;
    bool walked = false;
};

Census take_census() {
    Census census;
    HeapInfo entry{};
    int status;
    while ((status = _heapwalk(&entry)) == kHeapOk)
        if (entry.in_use) ++census.blocks, census.bytes += static_cast<long>(entry.size);
    census.walked = status == kHeapEnd;
    return census;
}

bool in_use(const void* block) {
    HeapInfo entry{};
    while (_heapwalk(&entry) == kHeapOk)
        if (entry.entry == block) return entry.in_use != 0;
    return false;
}

void check_heap(const char* what) { check_equal(_heapchk(), kHeapOk, what); }

// ---------------------------------------------------------------- files

bool read_file(const char* path, char* to, long capacity, long* size) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    *size = static_cast<long>(fread(to, 1, static_cast<size_t>(capacity), file));
    fclose(file);
    return true;
}

void join(char* to, size_t capacity, const char* a, const char* b, const char* c = "") {
    const size_t na = strlen(a), nb = strlen(b), nc = strlen(c);
    if (na + nb + nc + 1 > capacity) {
        to[0] = '\0';
        return;
    }
    memcpy(to, a, na);
    memcpy(to + na, b, nb);
    memcpy(to + na + nb, c, nc + 1);
}

void expect_status(bool failed, const char* message, const char* what) {
    static char bytes[4096];
    long size = 0;
    const bool found = read_file(kStatusPath, bytes, sizeof bytes, &size);
    say("  %s\n", what);
    if (!check(found, "the status file exists") || !check_equal(size, 2049, "the status file's size")) return;
    check_equal(bytes[0], failed ? 1 : 0, "the status flag");
    const size_t length = strlen(message);
    bool zeros = true;
    for (long i = 1 + static_cast<long>(length); i < size; ++i) zeros = zeros && bytes[i] == 0;
    if (!check(memcmp(bytes + 1, message, length) == 0 && zeros, "the status message, zeros after it"))
        say("     got \"%.80s\", want \"%s\"\n", bytes + 1, message);
}

void write_status_garbage() {
    if (FILE* file = fopen(kStatusPath, "wb")) {
        static char garbage[3000];
        memset(garbage, 0xAA, sizeof garbage);
        fwrite(garbage, 1, sizeof garbage, file);
        fclose(file);
    }
}

// ------------------------------------------------- calls made by the helper

PluginObject* const kAnyObject = reinterpret_cast<PluginObject*>(0xDEADBEE0);  // never read

// A member function removes its arguments; a C function (cdecl) leaves them.
bool check_measured(const Measured& m, int words, const char* what, bool callee_removes = true) {
    say("  %s\n", what);
    const int want = callee_removes ? 0 : -4 * words;
    const bool balanced = check_equal(m.esp_shift, want, "ESP after the return is where the convention puts it");
    if (!balanced) say("     the callee removed %d bytes of %d\n", words * 4 + m.esp_shift, words * 4 + want);
    check(m.ebx == kEbx && m.esi == kEsi && m.edi == kEdi && m.ebp == kEbp,
          "EBX, ESI, EDI and EBP are as the caller left them");
    return balanced;
}

void check_result_block(char* chars, const char* text, int length, const char* what) {
    say("  %s\n", what);
    if (!check(chars != nullptr, "the caller's storage holds a string")) return;
    TextData* data = data_of(chars);
    check_equal(data->count, 1, "the result's count");
    check_equal(data->length, length, "the result's length");
    check_equal(data->allocated, length, "the result's allocated length");
    check(memcmp(chars, text, static_cast<size_t>(length)) == 0 && chars[length] == '\0',
          "the result's characters and terminator");
    // _msize answers only for a block of msvcrt's heap.
    check_equal(static_cast<long>(_msize(data)), static_cast<long>(sizeof(TextData)) + length + 1,
                "the result is a block of msvcrt's heap, of its text's size");
}

// ESP modulo 16 at the call instruction: a host keeps 4-byte alignment only.
constexpr uint32 kRests[] = {0, 4, 8, 12};

void measured_text_query(void (*function)(), const char* text, const char* name) {
    for (const uint32 rest : kRests) {
        say("%s, called by the helper, ESP = %u mod 16\n", name, rest);
        Text argument("the host's own text");
        InterlockedIncrement(&argument.data()->count);  // the copy the host builds for the call
        char* storage = reinterpret_cast<char*>(0x5A5A5A5A);
        const uint32 words[2] = {reinterpret_cast<uint32>(&storage), reinterpret_cast<uint32>(argument.chars())};
        Measured m{};
        const uint32 eax = measured_call(reinterpret_cast<const void*>(function), kAnyObject, words, 2, rest, &m);
        check_measured(m, 2, "two words: the storage's address and the argument");
        check_equal(static_cast<long>(eax), static_cast<long>(words[0]), "EAX holds the storage's address");
        check_equal(argument.count(), 1, "the argument's count is back to its value before the copy");
        if (storage == reinterpret_cast<char*>(0x5A5A5A5A)) storage = nullptr;
        check_result_block(storage, text, static_cast<int>(strlen(text)), "the result");
        if (storage != nullptr) Text::adopt(storage);  // freed here, as the host frees a result
        check_heap("the heap is sound after the host freed the result");
    }
}

void measured_number_query(void (*function)(), const char* name) {
    say("%s, called by the helper\n", name);
    const uint32 values[] = {0u, 1u, 2u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
    for (const uint32 value : values) {
        Measured m{};
        const uint32 rest = (value * 4) % 16;
        const uint32 eax = measured_call(reinterpret_cast<const void*>(function), kAnyObject, &value, 1, rest, &m);
        check_measured(m, 1, "one word: the integer");
        check_equal(static_cast<long>(eax), 1, "the answer is 1");
    }
}

bool empty_untouched() {
    return g_empty.data.count == -1 && g_empty.data.length == 0 && g_empty.data.allocated == 0 && g_empty.chars[0] == 0;
}

// A job without an image, its four strings as the host passes them: the
// folder and the third string copies of the host's, the image and the fourth
// the shared empty string.
void measured_job(void (*function)(), const char* folder_name, const char* status, const char* name) {
    for (const uint32 rest : kRests) {
        say("%s without an image, called by the helper, ESP = %u mod 16\n", name, rest);
        write_status_garbage();
        Text folder(folder_name), third("unused");
        InterlockedIncrement(&folder.data()->count);
        InterlockedIncrement(&third.data()->count);
        const uint32 empty = reinterpret_cast<uint32>(g_empty.data.chars());
        const uint32 words[4] = {reinterpret_cast<uint32>(folder.chars()), empty,
                                 reinterpret_cast<uint32>(third.chars()), empty};
        Measured m{};
        measured_call(reinterpret_cast<const void*>(function), kAnyObject, words, 4, rest, &m);
        check_measured(m, 4, "four words: the four strings");
        check(folder.count() == 1 && third.count() == 1,
              "the arguments' counts are back to their values before the copy");
        check(empty_untouched(), "the shared empty string is untouched");
        expect_status(true, status, "the status file");
    }
}

// ------------------------------------------ calls made through member pointers

void member_text_query(TextQuery query, const char* text, const char* name) {
    PluginObject host_object{};
    const int length = static_cast<int>(strlen(text));
    say("%s through a member pointer\n", name);
    {
        const Text answer = (host_object.*query)(Text());
        check(answer.is(text, length) && answer.count() == 1, "with the shared empty string: the text, count 1");
        check(empty_untouched(), "the shared empty string is untouched");
    }
    {
        const Text argument(kFilter, static_cast<int>(sizeof kFilter - 1));
        const Text answer = (host_object.*query)(argument);
        check(answer.is(text, length), "with the filter's bytes as the argument: the text");
        check_equal(argument.count(), 1, "the argument's count is back to its value before the copy");
    }
    {
        const Text argument("zero\0inside", 11);
        const Text first = (host_object.*query)(argument), second = (host_object.*query)(argument);
        check(first.is(text, length) && second.is(text, length) && first.chars() != second.chars(),
              "each call constructs a block of its own");
        check_equal(argument.count(), 1, "after two calls the argument's count is still 1");
    }
    // A copy that nobody else holds: the module destroys the last reference.
    // It frees such a block, except one of the host's pool sizes, which goes
    // back to a pool the module cannot reach: that block stays, at count 0.
    const int allocated_lengths[] = {5, 63, 64, 65, 128, 256, 300, 512, 513};
    for (const int allocated : allocated_lengths) {
        char* chars = new_block("alone", 5, allocated);
        const bool pool = allocated == 64 || allocated == 128 || allocated == 256 || allocated == 512;
        { const Text answer = (host_object.*query)(Text::adopt(chars)); }
        if (pool) {
            if (!check(in_use(data_of(chars)) && data_of(chars)->count == 0,
                       "a pool-sized block is left alone at count 0"))
                say("     allocated length %d\n", allocated);
            free(data_of(chars));
        } else if (!check(!in_use(data_of(chars)), "a block whose count reaches 0 is freed")) {
            say("     allocated length %d\n", allocated);
        }
    }
}

void member_number_queries(const Module& module) {
    PluginObject host_object{};
    say("Onpadding and Onopencheck through member pointers\n");
    const int values[] = {0, 1, 2, -1, 0x7FFFFFFF, static_cast<int>(0x80000000u)};
    for (const int value : values) {
        check_equal((host_object.*module.padding)(value), 1, "Onpadding answers 1");
        check_equal((host_object.*module.open_check)(value), 1, "Onopencheck answers 1");
    }
}

void member_jobs(const Module& module, const char* folder_name) {
    PluginObject host_object{};
    say("EXTRACTLBA and REBUILDLBA without an image, through member pointers\n");
    const Text folder(folder_name), third("ignored");
    write_status_garbage();
    (host_object.*module.extract)(folder, Text(), third, Text());
    expect_status(true, "Code 100a - Error No BigFile Selected ", "EXTRACTLBA: code 100a");
    write_status_garbage();
    (host_object.*module.rebuild)(folder, Text(), third, Text());
    expect_status(true, "Code 400a - Error No BigFile Selected ", "REBUILDLBA: code 400a");
    check(folder.count() == 1 && third.count() == 1, "the arguments' counts are back to their values before the copy");
    check(empty_untouched(), "the shared empty string is untouched");
}

// ---------------------------------------------- what the host reads instead
// of the framework's start-up: resources through the module handle

uint32 read16(const unsigned char* p) { return p[0] | static_cast<uint32>(p[1]) << 8; }
uint32 read32(const unsigned char* p) { return read16(p) | read16(p + 2) << 16; }

const unsigned char* find_resource(Handle module, const char* name, const char* type, uint32* size) {
    Handle found = FindResourceA(module, name, type);
    *size = found ? SizeofResource(module, found) : 0;
    Handle loaded = found ? LoadResource(module, found) : nullptr;
    return loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
}

void check_resources(const Module& module) {
    say("the banner and the version record through the module handle\n");
    uint32 size = 0;
    const auto* banner = find_resource(module.handle, reinterpret_cast<const char*>(1006), "BIN", &size);
    if (check(banner != nullptr && size > 54, "resource BIN 1006 is there")) {
        check(banner[0] == 'B' && banner[1] == 'M' && read32(banner + 2) == size, "a complete bitmap file");
        check(read32(banner + 18) == 580 && read32(banner + 22) == 40 && read16(banner + 28) == 8,
              "580 by 40 pixels, 8 bits with a palette");
    }
    const auto* version = find_resource(module.handle, reinterpret_cast<const char*>(1),
                                        reinterpret_cast<const char*>(16), &size);  // RT_VERSION
    const unsigned char* fixed = nullptr;
    for (uint32 i = 0; version != nullptr && i + 24 <= size && fixed == nullptr; i += 4)
        if (read32(version + i) == 0xFEEF04BDu) fixed = version + i;
    if (check(fixed != nullptr, "the version record is there")) {
        check(read32(fixed + 8) == 0x00010000 && read32(fixed + 12) == 0x00050000, "file version 1.0.5.0");
        check(read32(fixed + 16) == 0x00010000 && read32(fixed + 20) == 0x00050001, "product version 1.0.5.1");
    }
}

// ------------------------------------------------------------------- areas

int queries(const Module& module, const char* folder) {
    // One round first: what the runtimes set up once is not a leak.
    {
        PluginObject host_object{};
        const Text a = (host_object.*module.open_filter)(Text()), b = (host_object.*module.title)(Text());
        (host_object.*module.extract)(Text(folder), Text(), Text(), Text());
    }
    const Census before = take_census();
    check(before.walked, "msvcrt's heap can be walked");

    measured_text_query(OnOpen1, kFilter, "OnOpen1");
    measured_text_query(Onfileid, kTitle, "Onfileid");
    measured_number_query(Onpadding, "Onpadding");
    measured_number_query(Onopencheck, "Onopencheck");
    measured_job(EXTRACTLBA, folder, "Code 100a - Error No BigFile Selected ", "EXTRACTLBA");
    measured_job(REBUILDLBA, folder, "Code 400a - Error No BigFile Selected ", "REBUILDLBA");

    member_text_query(module.open_filter, kFilter, "OnOpen1");
    member_text_query(module.title, kTitle, "Onfileid");
    member_number_queries(module);
    member_jobs(module, folder);

    const Census after = take_census();
    say("msvcrt's heap: %ld blocks, %ld bytes in use before; %ld, %ld after\n", before.blocks, before.bytes,
        after.blocks, after.bytes);
    check(after.blocks == before.blocks && after.bytes == before.bytes, "nothing leaked: the heap holds what it held");
    check_heap("the heap is sound at the end");

    check_resources(module);
    return finish("framework host: queries");
}

bool same_file(const char* a, const char* b) {
    constexpr long kCapacity = 16 << 20;
    char* x = static_cast<char*>(malloc(kCapacity));
    char* y = static_cast<char*>(malloc(kCapacity));
    long nx = -1, ny = -2;
    const bool same = x && y && read_file(a, x, kCapacity, &nx) && read_file(b, y, kCapacity, &ny) && nx == ny &&
                      nx < kCapacity && memcmp(x, y, static_cast<size_t>(nx)) == 0;
    free(x);
    free(y);
    if (!same) say("     %s and %s differ\n", a, b);
    return same;
}

// Both jobs on each kind of kit image, in a folder given as the host gives
// it; the products are compared with the Linux build's.
int jobs(const Module& module, const char* kit, const char* reference) {
    char path[1024], want[1024];
    join(path, sizeof path, kit, "\\UNAVAILABLE");
    long size = 0;
    if (read_file(path, want, sizeof want - 1, &size)) {
        want[size] = '\0';
        say("SKIPPED: the kit images and the Linux build's products are not available:\n%s\n", want);
        return kSkip;
    }
    PluginObject host_object{};
    const Handle c_module = LoadLibraryA("isorelink-c.dll");
    const char* const kinds[] = {"ps2cd", "ps2dvd", "pspumd"};
    uint32 rest = 0;
    for (const char* kind : kinds) {
        rest += 4;  // each kind's rebuild on another misaligned stack
        char folder[512], ref[512];
        join(folder, sizeof folder, kit, "\\framework\\", kind);
        join(folder + strlen(folder), sizeof folder - strlen(folder), "\\", "");
        join(ref, sizeof ref, reference, "\\", kind);
        join(ref + strlen(ref), sizeof ref - strlen(ref), "\\", "");
        say("%s: EXTRACTLBA through a member pointer\n", kind);
        const Text text_folder(folder);
        (host_object.*module.extract)(text_folder, Text("GAME.ISO"), Text(), Text());
        expect_status(false, "", "EXTRACTLBA succeeds");
        const char* const products[] = {"-LSN.TXT", "-Filelist.txt", ".xqe"};
        for (const char* product : products) {
            join(path, sizeof path, folder, "GAME.ISO", product);
            join(want, sizeof want, ref, "GAME.ISO", product);
            check(same_file(path, want), product);
        }
        say("%s: REBUILDLBA, called by the helper, ESP = %u mod 16\n", kind, rest);
        Text image("GAME.ISO");
        InterlockedIncrement(&image.data()->count);
        InterlockedIncrement(&text_folder.data()->count);
        const uint32 words[4] = {reinterpret_cast<uint32>(text_folder.chars()), reinterpret_cast<uint32>(image.chars()),
                                 reinterpret_cast<uint32>(g_empty.data.chars()),
                                 reinterpret_cast<uint32>(g_empty.data.chars())};
        Measured m{};
        measured_call(reinterpret_cast<const void*>(REBUILDLBA), kAnyObject, words, 4, rest, &m);
        check_measured(m, 4, "four words: the four strings");
        check(image.count() == 1 && text_folder.count() == 1, "the arguments' counts are back");
        expect_status(false, "", "REBUILDLBA succeeds");
        join(path, sizeof path, folder, "NEW-GAME.ISO");
        join(want, sizeof want, ref, "NEW-GAME.ISO");
        check(same_file(path, want), "NEW-GAME.ISO is the Linux build's");

        // The C entry points, for scripting callers, get 4-byte stacks too: a
        // second rebuild of the patched image must run to its end.
        say("%s: isorelink-c.dll's REBUILDLBA (cdecl, plain text), ESP = %u mod 16\n", kind, rest);
        const uint32 c_words[4] = {reinterpret_cast<uint32>(folder), reinterpret_cast<uint32>("GAME.ISO"),
                                   reinterpret_cast<uint32>(""), reinterpret_cast<uint32>("")};
        void* c_rebuild = c_module ? GetProcAddress(c_module, "REBUILDLBA") : nullptr;
        if (check(c_rebuild != nullptr, "isorelink-c.dll exports REBUILDLBA")) {
            measured_call(c_rebuild, nullptr, c_words, 4, rest, &m);
            check_measured(m, 4, "four words: the four texts, left for the caller", false);
            expect_status(false, "", "REBUILDLBA succeeds");
        }
    }
    check_heap("the heap is sound at the end");
    return finish("framework host: jobs");
}

} // namespace

int main(int argc, char** argv) {
    Module module;
    module.handle = GetModuleHandleA("isorelink.qpi");
    // The loader bound the six names at start-up; GetProcAddress must agree.
    const char* names[6] = {"OnOpen1", "Onfileid", "Onpadding", "Onopencheck", "EXTRACTLBA", "REBUILDLBA"};
    for (int i = 0; i < 6; ++i) {
        const void* found = module.handle ? GetProcAddress(module.handle, names[i]) : nullptr;
        if (!check(found != nullptr && found == reinterpret_cast<void*>(module.address[i]), names[i]))
            say("     %s: the loader's address and GetProcAddress's differ\n", names[i]);
    }
    if (g_failures != 0) return finish("framework host");

    if (argc == 3 && memcmp(argv[1], "queries", 8) == 0) {
        char folder[512];
        join(folder, sizeof folder, argv[2], "\\");
        CreateDirectoryA(argv[2], nullptr);
        return queries(module, folder);
    }
    if (argc == 4 && memcmp(argv[1], "jobs", 5) == 0) return jobs(module, argv[2], argv[3]);
    say("usage: framework_host queries FOLDER | jobs KIT REF\n");
    return 2;
}

// No C runtime start-up is linked: the entry point takes the arguments from
// msvcrt and leaves through its exit, which flushes and runs its handlers.
extern "C" void __stdcall host_entry(void*) {
    int argc = 0;
    char** argv = nullptr;
    char** environment = nullptr;
    StartupInfo info{0};
    __getmainargs(&argc, &argv, &environment, 0, &info);
    exit(main(argc, argv));
}
