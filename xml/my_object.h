// CMyObject: the common base of every class of the XML library, so that owners
// can delete any of them through one virtual destructor.
#pragma once

class CMyObject {
public:
    CMyObject() = default;
    CMyObject(const CMyObject&) = delete;
    CMyObject& operator=(const CMyObject&) = delete;
    virtual ~CMyObject() = default;
};
