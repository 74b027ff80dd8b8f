// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Script records: the object a filter offers the host's script language, its function
// table, and the 24-byte argument value.
#pragma once

#include "host/vdx_types.h"

class IVDXScriptInterpreter;
struct VDXScriptObject;

struct VDXScriptValue {
    enum Type : int {
        T_VOID,
        T_INT,
        T_PINT,
        T_STR,
        T_ARRAY,
        T_OBJECT,
        T_FNAME,
        T_FUNCTION,
        T_VARLV,
        T_LONG,
        T_DOUBLE
    };
    Type type;
    VDXScriptObject* thisPtr;
    union {
        int i;  // low four bytes at offset 16
        char** s;
        sint64 l;
        double d;
    } u;
};

// A handler is called through the type that matches its return kind; "0" handlers
// (void) must be called as ScriptVoidFunctionPtr.
using ScriptVoidFunctionPtr = void(VDX_API*)(IVDXScriptInterpreter*, void* activation,
                                             const VDXScriptValue* argv, int argc);
using ScriptIntFunctionPtr = int(VDX_API*)(IVDXScriptInterpreter*, void* activation,
                                           const VDXScriptValue* argv, int argc);

struct VDXScriptFunctionDef {
    ScriptVoidFunctionPtr func_ptr;
    const char* name;
    const char* arg_list;  // return type, then one letter per argument ("0iiiiiiii")
};

struct VDXScriptObject {
    void* _lookup;
    const VDXScriptFunctionDef* func_list;  // ends with an all-null entry
    void* _obj_list;
};

class IVDXScriptInterpreter
{
public:
    virtual void _placeholder1() = 0;
    virtual void _placeholder2(void*, void*) = 0;
    virtual void _placeholder3(char*) = 0;
    virtual void ScriptError(int code) = 0;  // does not return
    virtual void _placeholder4(void*) = 0;
    virtual char** AllocTempString(long len) = 0;
    virtual void _placeholder5() = 0;
};

static_assert(sizeof(VDXScriptValue) == 24);
static_assert(offsetof(VDXScriptValue, thisPtr) == 8);
static_assert(offsetof(VDXScriptValue, u) == 16);
static_assert(sizeof(VDXScriptFunctionDef) == 24);
static_assert(offsetof(VDXScriptFunctionDef, name) == 8);
static_assert(offsetof(VDXScriptFunctionDef, arg_list) == 16);
static_assert(sizeof(VDXScriptObject) == 24);
static_assert(offsetof(VDXScriptObject, func_list) == 8);
static_assert(offsetof(VDXScriptObject, _obj_list) == 16);
