#pragma once

#include <cstdint>

namespace Physics {

class RigidBody;
class Simulator;
struct ContactStack;

// A RigidBody's membership in a contact stack (or the grounded list).
struct StackNode {
    int32_t visited = 0;
    int32_t supportOnly = 0;
    int32_t unsupported = 0;
    ContactStack* stack = nullptr;
    RigidBody* body = nullptr;

    // Depth first over the supporters, then this body's rows: rows run from the bottom up.
    void Collect(bool addToGroup);

    StackNode* next = nullptr;
    StackNode* prev = nullptr;
    uint8_t inUse = 0;
};

// Bodies joined by resting supports, solved and put to sleep together.
struct ContactStack {
    Simulator* simulator = nullptr;
    StackNode* firstNode = nullptr;
    StackNode* lastNode = nullptr;
    int32_t nodeCount = 0;
    int32_t grounded = 0;
    int32_t allAsleep = 0;
    int32_t solved = 0;

    void AppendNode(StackNode* node);
    void RemoveNode(StackNode* node);
    // Appends every node to a destination stack; the caller frees this one.
    void MoveNodesTo(ContactStack* destination);
    // Splits the stack into stacks of its connected pieces; it ends empty.
    void Rebuild();
    // Puts the bodies into the solve group and their rows into the contact rows.
    void CollectForSolve();

    ContactStack* next = nullptr;
    ContactStack* prev = nullptr;
    uint8_t inUse = 0;
};

} // namespace Physics
