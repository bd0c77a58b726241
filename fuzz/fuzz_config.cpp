// libFuzzer harness for the program list and the Kolvena.cfg format
// (src/config_list.cpp, built natively with the sanitizers).
//
// Every input is used twice:
//  1. as the bytes of a Kolvena.cfg: loaded with beri_tok into a list whose
//     bytes were all set to a pattern, compared with a plain reading of the
//     format written here, checked for overrun fields, then saved with
//     pisi_tok and loaded again;
//  2. as a script of list operations (stage, commit, remove, option), after
//     which the list is saved and loaded again.
//
// On Linux the streams do no CR LF translation and know no Ctrl+Z: a CR is a
// byte like any other here. The Windows tests (tests/config) cover text mode.
#include "config_list.h"
#include "../tests/common/pattern.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

struct Entry {
    std::string opis, pot;
    bool operator==(const Entry &o) const { return opis == o.opis && pot == o.pot; }
};

struct List {
    std::vector<Entry> entries;
    int option = 0;
    long left_out = 0;
    bool operator==(const List &o) const { return entries == o.entries && option == o.option; }
};

void check(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "property violated: %s\n", what);
        abort();
    }
}

void fresh_state()
{
    vzorec::fill();
    IDx = 30;
    icn_kljuka = 0;
}

// The list in memory, after checking the limits that always hold.
List current_list()
{
    check(IDx >= 30 && IDx <= 49, "30 <= IDx <= 49");
    check(icn_kljuka == 0 || icn_kljuka == 1, "option is 0 or 1");
    List l;
    l.option = icn_kljuka;
    for (int i = 0; i < stevilo_vnosov(); i++) {
        check(strnlen(m_polje[i].opis, sizeof m_polje[i].opis) <= 99, "opis <= 99 characters");
        check(strnlen(m_polje[i].pot, sizeof m_polje[i].pot) <= 259, "pot <= 259 characters");
        l.entries.push_back({ m_polje[i].opis, m_polje[i].pot });
    }
    return l;
}

// beri_tok over the bytes, into a state whose every byte is the pattern.
List load(const uint8_t *data, size_t size)
{
    fresh_state();
    static const uint8_t nothing[1] = { 0 };
    FILE *f = fmemopen((void *)(size ? data : nothing), size ? size : 1, "r");
    check(f != NULL, "fmemopen");
    if (size == 0)
        fgetc(f);                          // an empty stream: already at its end
    long left_out = beri_tok(f);
    fclose(f);

    check(left_out >= 0, "left-out count >= 0");
    List l = current_list();
    l.left_out = left_out;
    check(vzorec::first_damaged_slot() == -1,
          "fields written up to their NUL, slots without an entry untouched");
    return l;
}

// The format read plainly: lines end at LF, a line's text at its first NUL;
// a line whose first two bytes are "#1" where a pair could begin is the
// option line and the line after it is skipped; a description without a
// path line adds nothing; fields are cut to 99 and 259 characters; pairs
// beyond 19 are counted.
List read_plainly(const uint8_t *data, size_t size)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < size; i++)
        if (data[i] == '\n') {
            lines.emplace_back((const char *)data + start, i - start);
            start = i + 1;
        }
    if (start < size)
        lines.emplace_back((const char *)data + start, size - start);

    auto text = [](const std::string &raw, size_t max) {
        std::string t = raw.substr(0, raw.find('\0'));
        return t.substr(0, max);
    };
    List l;
    size_t i = 0;
    while (i < lines.size()) {
        const std::string &d = lines[i++];
        if (d.size() >= 2 && d[0] == '#' && d[1] == '1') {
            l.option = 1;
            i++;
            continue;
        }
        if (i >= lines.size())
            break;
        const std::string &p = lines[i++];
        if (l.entries.size() < 19)
            l.entries.push_back({ text(d, 99), text(p, 259) });
        else
            l.left_out++;
    }
    return l;
}

// pisi_tok of the list in memory, as bytes.
std::string save()
{
    char *buf = NULL;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    check(f != NULL, "open_memstream");
    check(pisi_tok(f), "pisi_tok succeeds on a healthy stream");
    fclose(f);
    std::string s(buf, len);
    free(buf);
    return s;
}

// What loading the saved list gives back. The format has no escape: a
// description that begins with "#1" becomes the option line and takes its
// path with it, and a line feed inside a field splits it. Lists without line
// feeds (every list a load or the settings dialog can make) come back exactly,
// except that "#1" entries are gone and set the option.
void check_round_trip(const List &saved, const std::string &bytes)
{
    List back = load((const uint8_t *)bytes.data(), bytes.size());
    check(back == read_plainly((const uint8_t *)bytes.data(), bytes.size()),
          "the saved file loads as the format says");

    for (const Entry &e : saved.entries)
        if (e.opis.find('\n') != std::string::npos || e.pot.find('\n') != std::string::npos)
            return;
    check(back.left_out == 0, "a saved file holds at most 19 pairs");
    List expected;
    expected.option = saved.option;
    for (const Entry &e : saved.entries) {
        if (e.opis.compare(0, 2, "#1") == 0)
            expected.option = 1;
        else
            expected.entries.push_back(e);
    }
    check(back == expected, "save then load gives the same list and option");
}

// Part 1: the input as a file.
void as_file(const uint8_t *data, size_t size)
{
    List got = load(data, size);
    List plain = read_plainly(data, size);
    check(got.entries == plain.entries, "entries as the format says");
    check(got.option == plain.option, "option as the format says");
    check(got.left_out == plain.left_out, "pairs beyond 19 counted");
    check(IDx == 30 + (int)got.entries.size(), "IDx = 30 + entries");

    std::string bytes = save();
    for (const Entry &e : got.entries)
        check(e.opis.compare(0, 2, "#1") != 0, "a loaded description never begins with #1");
    check_round_trip(got, bytes);
    check(load((const uint8_t *)bytes.data(), bytes.size()) == got, "a loaded list round-trips");
}

// Part 2: the input as a script of list operations.
void as_operations(const uint8_t *data, size_t size)
{
    memset(m_polje, 0, sizeof m_polje);
    IDx = 30;
    icn_kljuka = 0;
    size_t i = 0;
    auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
    auto text = [&]() {
        size_t len = next() * 2;                 // up to 510 bytes, past both fields
        std::string s;
        while (len-- > 0 && i < size)
            s += (char)data[i++];
        return s;
    };
    int steps = 0;
    while (i < size && steps++ < 64) {
        int before = IDx;
        switch (next() % 4) {
        case 0: {
            std::string p = text();
            postavi_pot(p.c_str());
            check(IDx == before, "staging leaves IDx");
            check(strncmp(staging_slot()->pot, p.c_str(), 259) == 0, "staged path is the start of the path");
            break;
        }
        case 1: {
            std::string d = text();
            potrdi_vnos(d.c_str());
            check(IDx == (before < 49 ? before + 1 : before), "commit adds one entry below 19");
            break;
        }
        case 2: {
            long k = (long)(int8_t)next();
            odstrani_vnos(k);
            bool valid = k >= 0 && k < before - 30;
            check(IDx == (valid ? before - 1 : before), "removal lowers IDx only for an entry");
            break;
        }
        case 3:
            icn_kljuka = next() & 1;
            break;
        }
        current_list();
        check(strnlen(staging_slot()->pot, 260) <= 259, "staged path <= 259 characters");
    }
    List l = current_list();
    check_round_trip(l, save());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    as_file(data, size);
    as_operations(data, size);
    return 0;
}
