#pragma once

// Base of every object a stream reader can hold as the current object of a level.
class TStreamObject {
public:
    virtual ~TStreamObject() = default;
};
