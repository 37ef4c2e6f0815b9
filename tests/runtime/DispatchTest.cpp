// Late-bound calls against automation objects the system provides: the scripting
// runtime's Dictionary and FileSystemObject.

#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace cartulane {
namespace {

ComPtr<IDispatch> Create(const wchar_t* progId) { return test::CreateByProgId(progId); }

ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// The counted pointer keeps COM's rules: Attach takes a reference over, &p releases
// what p held, copies and As add one, and nothing is left when the pointers go.
TEST(ComPtr, CountsReferencesAsCOMDoes) {
    ComPtr<IDispatch> dictionary = Create(L"Scripting.Dictionary");
    ASSERT_TRUE(dictionary);
    const ULONG base = RefCount(dictionary.Get());
    {
        IDispatch* raw = dictionary.Get();
        raw->AddRef();
        ComPtr<IDispatch> adopted;
        adopted.Attach(raw);
        EXPECT_EQ(RefCount(dictionary.Get()), base + 1);

        ComPtr<IDispatch> copy = adopted;
        ComPtr<IUnknown> unknown;
        ASSERT_HRESULT_SUCCEEDED(copy.As(&unknown));
        ComPtr<IDispatch> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(RefCount(dictionary.Get()), base + 3);

        // Used as an out parameter, &p lets go of what p held before.
        ASSERT_HRESULT_SUCCEEDED(dictionary->QueryInterface(IID_PPV_ARGS(&moved)));
        EXPECT_EQ(RefCount(dictionary.Get()), base + 3);
        unknown = nullptr;
        EXPECT_EQ(RefCount(dictionary.Get()), base + 2);
        IDispatch* detached = adopted.Detach();
        EXPECT_EQ(RefCount(dictionary.Get()), base + 2);
        detached->Release();
    }
    EXPECT_EQ(RefCount(dictionary.Get()), base);
}

TEST(Dispatch, GetPutCallAndEnumerateADictionary) {
    ComPtr<IDispatch> dictionary = Create(L"Scripting.Dictionary");
    ASSERT_TRUE(dictionary);

    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(dictionary.Get(), L"Add", {L"first", 1}));
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(dictionary.Get(), L"Add", {L"第二 key", L"two"}));
    Variant count;
    ASSERT_HRESULT_SUCCEEDED(dispatch::Get(dictionary.Get(), L"Count", &count));
    long n = 0;
    ASSERT_HRESULT_SUCCEEDED(count.ToInt(&n));
    EXPECT_EQ(n, 2);

    std::wstring text;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetString(dictionary.Get(), L"Item", &text, {L"第二 key"}));
    EXPECT_EQ(text, L"two");

    // A put with an index argument: d("first") = 42
    ASSERT_HRESULT_SUCCEEDED(dispatch::Put(dictionary.Get(), L"Item", Variant(42), {L"first"}));
    Variant value;
    ASSERT_HRESULT_SUCCEEDED(dispatch::Get(dictionary.Get(), L"Item", &value, {L"first"}));
    ASSERT_HRESULT_SUCCEEDED(value.ToInt(&n));
    EXPECT_EQ(n, 42);

    std::vector<std::wstring> keys;
    ASSERT_HRESULT_SUCCEEDED(dispatch::ForEach(dictionary.Get(), [&](const Variant& key) {
        std::wstring k;
        RETURN_IF_FAILED(key.ToString(&k));
        keys.push_back(k);
        return S_OK;
    }));
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"first", L"第二 key"}));

    // The visitor's failure ends the enumeration and comes back.
    int visited = 0;
    EXPECT_EQ(dispatch::ForEach(dictionary.Get(), [&](const Variant&) { return ++visited, E_ABORT; }), E_ABORT);
    EXPECT_EQ(visited, 1);
}

TEST(Dispatch, PutByReferenceSetsAnObjectProperty) {
    // Set doc.documentElement = doc.createElement("报表")
    ComPtr<IDispatch> document = Create(L"Msxml2.DOMDocument.6.0");
    ASSERT_TRUE(document);
    ComPtr<IDispatch> element;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(document.Get(), L"createElement", &element, {L"报表"}));
    const ULONG before = RefCount(element.Get());

    ASSERT_HRESULT_SUCCEEDED(dispatch::PutRef(document.Get(), L"documentElement", Variant(element.Get())));
    ComPtr<IDispatch> root;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetDispatch(document.Get(), L"documentElement", &root));
    std::wstring name;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetString(root.Get(), L"nodeName", &name));
    EXPECT_EQ(name, L"报表");
    std::wstring xml;
    ASSERT_HRESULT_SUCCEEDED(dispatch::GetString(document.Get(), L"xml", &xml));
    EXPECT_NE(xml.find(L"<报表/>"), std::wstring::npos);
    root.Reset();
    EXPECT_EQ(RefCount(element.Get()), before) << "a call leaked or dropped a reference";
}

TEST(Dispatch, FailuresComeBackAsTheObjectsOwnErrors) {
    ComPtr<IDispatch> dictionary = Create(L"Scripting.Dictionary");
    ASSERT_TRUE(dictionary);
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(dictionary.Get(), L"Add", {L"k", 1}));
    const HRESULT duplicate = dispatch::Call(dictionary.Get(), L"Add", {L"k", 2});
    EXPECT_EQ(duplicate, ControlError(457)) << std::hex << duplicate;  // key already associated
    EXPECT_EQ(dispatch::Call(dictionary.Get(), L"NoSuchMember"), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(dispatch::Call(nullptr, L"Add"), E_POINTER);
}

TEST(Dispatch, OptionalArgumentsLeftOutOrPassedAsMissing) {
    test::TempDir dir;
    ComPtr<IDispatch> fso = Create(L"Scripting.FileSystemObject");
    ASSERT_TRUE(fso);

    // CreateTextFile(name) with its two optional arguments left out.
    Variant stream;
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(fso.Get(), L"CreateTextFile", {dir / L"a.txt"}, &stream));
    ComPtr<IDispatch> file;
    ASSERT_HRESULT_SUCCEEDED(stream.ToDispatch(&file));
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(file.Get(), L"Close"));
    EXPECT_TRUE(FileSystem().FileExists(dir / L"a.txt"));

    // OpenTextFile(name, <IOMode left out>, Create:=True): a gap in the middle.
    Variant opened;
    ASSERT_HRESULT_SUCCEEDED(
        dispatch::Call(fso.Get(), L"OpenTextFile", {dir / L"新 b.txt", Variant::Missing(), true}, &opened));
    ASSERT_HRESULT_SUCCEEDED(opened.ToDispatch(&file));
    ASSERT_HRESULT_SUCCEEDED(dispatch::Call(file.Get(), L"Close"));
    EXPECT_TRUE(FileSystem().FileExists(dir / L"新 b.txt"));
}

}  // namespace
}  // namespace cartulane
