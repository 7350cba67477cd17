// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A Windows program that the end-to-end tests run beside the decoder under Wine: it reads the
// decoder's window through UI Automation, the interface through which Windows' screen readers
// (Narrator, NVDA) find controls, as a screen reader would, from another process.
//
//   uia_client tree TITLE   walks the UI Automation tree of the visible window titled TITLE and
//                           writes a line for each element, indented by its depth; then
//                           "focus: " and the line of the element that UI Automation says has
//                           the focus; then "unanswered:" and each property that an element
//                           did not give, with the HRESULT of the last refusal
//
// An element's line: its control type, its name in quotes, "focusable" and "focused" where it
// is, its value in quotes and "read-only" or "editable" where it has the Value pattern, and
// "invokable" where it has the Invoke pattern. A property that an element did not give is left
// off its line. A call that gets no answer within 15 seconds ends the program (status 3), saying
// which it was; a walk that stops writes why and fails.
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <map>
#include <string>
#include <uiautomationclient.h>
#include <windows.h>

// The client interfaces of UI Automation, which MinGW's headers lack: only the methods in use
// and those before them in each interface, as Windows' UIAutomationClient.h declares them.
enum TreeScope : int;
struct IUIAutomationCacheRequest;
struct IUIAutomationElementArray;

MIDL_INTERFACE("352ffba8-0973-437c-a61f-f64cafd81df9")
IUIAutomationCondition : public IUnknown{};
__CRT_UUID_DECL(IUIAutomationCondition, 0x352ffba8, 0x0973, 0x437c, 0xa6, 0x1f, 0xf6, 0x4c, 0xaf,
                0xd8, 0x1d, 0xf9)

MIDL_INTERFACE("d22108aa-8ac5-49a5-837b-37bbb3d7591e")
IUIAutomationElement : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE SetFocus() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY * *runtimeId) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFirst(TreeScope scope, IUIAutomationCondition * condition,
                                                IUIAutomationElement * *found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAll(TreeScope scope, IUIAutomationCondition * condition,
                                              IUIAutomationElementArray * *found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFirstBuildCache(
        TreeScope scope, IUIAutomationCondition * condition, IUIAutomationCacheRequest * request,
        IUIAutomationElement * *found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAllBuildCache(
        TreeScope scope, IUIAutomationCondition * condition, IUIAutomationCacheRequest * request,
        IUIAutomationElementArray * *found) = 0;
    virtual HRESULT STDMETHODCALLTYPE BuildUpdatedCache(IUIAutomationCacheRequest * request,
                                                        IUIAutomationElement * *updated) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue(PROPERTYID property,
                                                              VARIANT * value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValueEx(
        PROPERTYID property, BOOL ignoreDefault, VARIANT * value) = 0;
};
__CRT_UUID_DECL(IUIAutomationElement, 0xd22108aa, 0x8ac5, 0x49a5, 0x83, 0x7b, 0x37, 0xbb, 0xb3,
                0xd7, 0x59, 0x1e)

MIDL_INTERFACE("4042c624-389c-4afc-a630-9df854a541fc")
IUIAutomationTreeWalker : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetParentElement(IUIAutomationElement * element,
                                                       IUIAutomationElement * *parent) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFirstChildElement(IUIAutomationElement * element,
                                                           IUIAutomationElement * *first) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLastChildElement(IUIAutomationElement * element,
                                                          IUIAutomationElement * *last) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextSiblingElement(IUIAutomationElement * element,
                                                            IUIAutomationElement * *next) = 0;
};
__CRT_UUID_DECL(IUIAutomationTreeWalker, 0x4042c624, 0x389c, 0x4afc, 0xa6, 0x30, 0x9d, 0xf8, 0x54,
                0xa5, 0x41, 0xfc)

MIDL_INTERFACE("30cbe57d-d9d0-452a-ab13-7ac5ac4825ee")
IUIAutomation : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE CompareElements(
        IUIAutomationElement * first, IUIAutomationElement * second, BOOL * same) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareRuntimeIds(SAFEARRAY * first, SAFEARRAY * second,
                                                        BOOL * same) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootElement(IUIAutomationElement * *root) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandle(void *window,
                                                        IUIAutomationElement **element) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromPoint(POINT point,
                                                       IUIAutomationElement * *element) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFocusedElement(IUIAutomationElement * *element) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootElementBuildCache(IUIAutomationCacheRequest * request,
                                                               IUIAutomationElement * *root) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandleBuildCache(
        void *window, IUIAutomationCacheRequest *request, IUIAutomationElement **element) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromPointBuildCache(
        POINT point, IUIAutomationCacheRequest * request, IUIAutomationElement * *element) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFocusedElementBuildCache(
        IUIAutomationCacheRequest * request, IUIAutomationElement * *element) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTreeWalker(IUIAutomationCondition * condition,
                                                       IUIAutomationTreeWalker * *walker) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ControlViewWalker(IUIAutomationTreeWalker * *walker) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContentViewWalker(IUIAutomationTreeWalker * *walker) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawViewWalker(IUIAutomationTreeWalker * *walker) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RawViewCondition(IUIAutomationCondition * *condition) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ControlViewCondition(IUIAutomationCondition *
                                                               *condition) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContentViewCondition(IUIAutomationCondition *
                                                               *condition) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateCacheRequest(IUIAutomationCacheRequest * *request) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTrueCondition(IUIAutomationCondition * *condition) = 0;
};
__CRT_UUID_DECL(IUIAutomation, 0x30cbe57d, 0xd9d0, 0x452a, 0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25,
                0xee)

namespace {

const CLSID CLSID_CUIAutomation = {
    0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};

// How long one call may go unanswered: Wine's calls to another process can hang for good.
constexpr DWORD CallTimeoutMs = 15000;

// An interface pointer that releases what it holds.
template <typename T> class Ref
{
public:
    Ref() = default;
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    ~Ref()
    {
        if (m_p)
            m_p->Release();
    }
    T *operator->() const { return m_p; }
    T *get() const { return m_p; }
    T **put() { return &m_p; }
    void swap(Ref &other) { std::swap(m_p, other.m_p); }

private:
    T *m_p = nullptr;
};

// A VARIANT that clears what it holds.
struct Variant : VARIANT
{
    Variant() { VariantInit(this); }
    Variant(const Variant &) = delete;
    Variant &operator=(const Variant &) = delete;
    ~Variant() { VariantClear(this); }
};

// The call the worker is in, and how many it has begun, for the watchdog on the main thread.
const char *volatile waitingFor = "CoCreateInstance(CUIAutomation)";
volatile LONG callsBegun = 0;

void calling(const char *what)
{
    waitingFor = what;
    InterlockedIncrement(&callsBegun);
}

IUIAutomation *automation = nullptr;

// The properties that some element did not give, with the last HRESULT it gave instead.
std::map<std::string, HRESULT> unanswered;

std::string utf8(const wchar_t *text, int length)
{
    std::string out(WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr),
                    '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), int(out.size()), nullptr, nullptr);
    return out;
}

std::wstring wide(const char *text)
{
    std::wstring out(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), int(out.size()));
    out.resize(wcslen(out.c_str()));
    return out;
}

// A text in quotes, with quotes, backslashes and line breaks escaped, so that a line is a line.
std::string quoted(BSTR text)
{
    std::string out = "\"";
    for (char c : utf8(text ? text : L"", text ? int(SysStringLen(text)) : 0)) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

std::string hresult(HRESULT status)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(status));
    return text;
}

void say(const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The names of the control types, whose identifiers run on from the button's.
constexpr int FirstControlType = 50000;

std::string controlType(int id)
{
    static const char *const names[] = {
        "button",       "calendar",     "check box",  "combo box", "edit",      "hyperlink",
        "image",        "list item",    "list",       "menu",      "menu bar",  "menu item",
        "progress bar", "radio button", "scroll bar", "slider",    "spinner",   "status bar",
        "tab",          "tab item",     "text",       "tool bar",  "tool tip",  "tree",
        "tree item",    "custom",       "group",      "thumb",     "data grid", "data item",
        "document",     "split button", "window",     "pane",      "header",    "header item",
        "table",        "title bar",    "separator"};
    const int index = id - FirstControlType;
    if (index >= 0 && index < int(sizeof names / sizeof *names))
        return names[index];
    return "type " + std::to_string(id);
}

// A property of the element, as UI Automation gives it, with the defaults it fills in for what
// the provider leaves out; nothing (VT_EMPTY) where the call fails, which is noted under word.
// Wine 10 answers GetCurrentPropertyValueEx only, not GetCurrentPropertyValue.
void property(IUIAutomationElement *element, PROPERTYID id, const char *word, Variant &value)
{
    VariantClear(&value);
    calling(word);
    const HRESULT status = element->GetCurrentPropertyValueEx(id, FALSE, &value);
    if (FAILED(status)) {
        unanswered[word] = status;
        VariantClear(&value);
    }
}

bool isTrue(const Variant &value)
{
    return value.vt == VT_BOOL && value.boolVal;
}

// An element's line: see the top of this file.
std::string describe(IUIAutomationElement *element)
{
    Variant value;
    property(element, UIA_ControlTypePropertyId, "type", value);
    std::string line = value.vt == VT_I4 ? controlType(value.lVal) : "?";
    property(element, UIA_NamePropertyId, "name", value);
    line += ' ' + (value.vt == VT_BSTR ? quoted(value.bstrVal) : "?");
    property(element, UIA_IsKeyboardFocusablePropertyId, "focusable", value);
    if (isTrue(value))
        line += " focusable";
    property(element, UIA_HasKeyboardFocusPropertyId, "focused", value);
    if (isTrue(value))
        line += " focused";
    // Whether the value is read-only is a boolean only where the Value pattern is: Wine 10 does
    // not say whether a pattern is there, but reads this through the pattern.
    property(element, UIA_ValueIsReadOnlyPropertyId, "read-only", value);
    if (value.vt == VT_BOOL) {
        const bool readOnly = value.boolVal;
        property(element, UIA_ValueValuePropertyId, "value", value);
        if (value.vt == VT_BSTR)
            line += " value=" + quoted(value.bstrVal);
        line += readOnly ? " read-only" : " editable";
    }
    property(element, UIA_IsInvokePatternAvailablePropertyId, "invokable", value);
    if (isTrue(value))
        line += " invokable";
    return line;
}

// Calls visit on element and each element under it, depth first, with its depth. Fails, saying
// where, if the walk could not go on.
template <typename Visit>
bool walk(IUIAutomationTreeWalker *walker, IUIAutomationElement *element, int depth,
          const Visit &visit)
{
    visit(element, depth);
    Ref<IUIAutomationElement> child;
    calling("the first child");
    HRESULT status = walker->GetFirstChildElement(element, child.put());
    while (SUCCEEDED(status) && child.get()) {
        if (!walk(walker, child.get(), depth + 1, visit))
            return false;
        Ref<IUIAutomationElement> next;
        calling("the next sibling");
        status = walker->GetNextSiblingElement(child.get(), next.put());
        child.swap(next);
    }
    if (FAILED(status))
        say(std::string(2 * (depth + 1), ' ') + "(the walk stopped: " + waitingFor + " " +
            hresult(status) + ")");
    return SUCCEEDED(status);
}

// A walker over every element, as the raw view has them. Wine 10 makes no raw view walker
// (E_NOTIMPL), but makes a walker of any condition, and every element meets the true one.
bool rawWalker(IUIAutomationTreeWalker **walker)
{
    Ref<IUIAutomationCondition> every;
    calling("CreateTrueCondition");
    HRESULT status = automation->CreateTrueCondition(every.put());
    if (SUCCEEDED(status)) {
        calling("CreateTreeWalker");
        status = automation->CreateTreeWalker(every.get(), walker);
    }
    if (FAILED(status))
        say(std::string("(no walker: ") + waitingFor + " " + hresult(status) + ")");
    return SUCCEEDED(status);
}

int tree(const char *title)
{
    HWND window = FindWindowW(nullptr, wide(title).c_str());
    if (!window || !IsWindowVisible(window)) {
        std::fprintf(stderr, "uia_client: no visible window titled %s\n", title);
        return 1;
    }
    Ref<IUIAutomationElement> root;
    calling("ElementFromHandle");
    HRESULT status = automation->ElementFromHandle(window, root.put());
    if (FAILED(status) || !root.get()) {
        say("(no element for the window: ElementFromHandle " + hresult(status) + ")");
        return 1;
    }
    Ref<IUIAutomationTreeWalker> walker;
    if (!rawWalker(walker.put()))
        return 1;
    const bool whole =
        walk(walker.get(), root.get(), 0, [](IUIAutomationElement *element, int depth) {
            say(std::string(2 * depth, ' ') + describe(element));
        });
    Ref<IUIAutomationElement> focused;
    calling("GetFocusedElement");
    status = automation->GetFocusedElement(focused.put());
    say("focus: " + (SUCCEEDED(status) && focused.get() ? describe(focused.get())
                                                        : "(none: " + hresult(status) + ")"));
    std::string refused = "unanswered:";
    for (const auto &[word, code] : unanswered)
        refused += ' ' + word + '=' + hresult(code);
    say(refused);
    return whole ? 0 : 1;
}

struct Command
{
    int argc;
    char **argv;
    int status;
};

DWORD WINAPI run(void *parameter)
{
    auto *command = static_cast<Command *>(parameter);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const HRESULT status =
        CoCreateInstance(CLSID_CUIAutomation, nullptr, CLSCTX_INPROC_SERVER,
                         __uuidof(IUIAutomation), reinterpret_cast<void **>(&automation));
    if (FAILED(status)) {
        say("(no UI Automation client: CoCreateInstance(CUIAutomation) " + hresult(status) + ")");
        command->status = 2;
    } else {
        command->status = tree(command->argv[2]);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc != 3 || std::string(argv[1]) != "tree") {
        std::fprintf(stderr, "usage: uia_client tree TITLE\n");
        return 64;
    }
    // The calls go to another process, which may not answer: they run on a thread of their own,
    // and this one says which call it was when one takes too long. A hung call cannot be undone,
    // so the program ends at once, leaving the thread in it.
    Command command{argc, argv, 1};
    HANDLE worker = CreateThread(nullptr, 0, run, &command, 0, nullptr);
    LONG seen = -1;
    while (WaitForSingleObject(worker, CallTimeoutMs) == WAIT_TIMEOUT) {
        if (callsBegun == seen) {
            say(std::string("(no answer within 15 s to ") + waitingFor + ")");
            ExitProcess(3);
        }
        seen = callsBegun;
    }
    return command.status;
}
