#pragma once
// Late-bound calls by name through IDispatch, as an automation client makes them:
// each call resolves the name with GetIDsOfNames, so it works with any version
// of the object it talks to.

#include "runtime/Variant.h"

#include <functional>
#include <initializer_list>

namespace cartulane::dispatch {

// Arguments are given in call order; trailing optional arguments are simply left
// out, others are passed as Variant::Missing().
using Args = std::initializer_list<Variant>;

HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, const VARIANT* args, size_t count, VARIANT* result);

HRESULT GetId(IDispatch* object, const wchar_t* name, DISPID* id);

// object.name(args) read as a property or called as a method returning a value.
HRESULT Get(IDispatch* object, const wchar_t* name, Variant* result, Args args = {});
// object.name(args) = value
HRESULT Put(IDispatch* object, const wchar_t* name, const VARIANT& value, Args args = {});
// Set object.name(args) = value (by reference)
HRESULT PutRef(IDispatch* object, const wchar_t* name, const VARIANT& value, Args args = {});
// object.name(args), the result dropped unless asked for.
HRESULT Call(IDispatch* object, const wchar_t* name, Args args = {}, Variant* result = nullptr);

// Get, then take the result as an object.
HRESULT GetDispatch(IDispatch* object, const wchar_t* name, ComPtr<IDispatch>* result, Args args = {});
HRESULT GetString(IDispatch* object, const wchar_t* name, std::wstring* result, Args args = {});

// For Each item In collection: enumerates through _NewEnum. The visitor's first
// failure ends the enumeration and is returned.
HRESULT ForEach(IDispatch* collection, const std::function<HRESULT(const Variant& item)>& visit);

}  // namespace cartulane::dispatch
