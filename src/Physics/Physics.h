#pragma once

// The physics engine's front door: the one header code outside src/Physics includes.
//
// Design
// - A Simulator owns everything it simulates. CreateSimulator sizes every pool once from a
//   SimulatorDesc (bodies, particles, animated bodies, geometries, sensors, controllers, joints,
//   joint groups, overlap pairs); nothing grows afterwards, and a Create... call on an empty pool
//   answers null with a message through the error callback. Free... gives a record back to its
//   pool together with what it owns (a body takes its geometries, sensors, controllers and joints
//   along; its joint partners and their group go on). DestroySimulator frees the lot.
// - Step(dt, n) runs n equal ticks of dt / n. Each tick, in order: sensor hits cleared, world boxes
//   and the broadphase updated, body pairs collided, bodies against the static world collided
//   (triangles come from the TriangleQueryCallback), forces and controllers gathered, velocities
//   integrated, joint groups and contact stacks solved, positions integrated, joint post-step.
//   Contact and break-off callbacks run inside Step; their reports are valid only during the call.
// - Units are SI: metres, kilograms, seconds, radians, newtons. Vectors are Vector4 (w ignored),
//   quaternions (x, y, z, w) in a Vector4, matrices rows-are-axes with the translation in row 3
//   (points transform as p · M). Normals in reports point from body B towards body A.
// - Nothing here is thread-safe: a Simulator and everything it created belong to one thread at a
//   time. Separate Simulators share no state, so each may run on its own thread.
// - Results depend only on the calls made and their order: the same calls give bit-identical
//   poses, which tests and replays rely on.
//
// What a caller uses
//   create   CreateSimulator, Simulator::CreateRigidBody / CreateRigidParticle /
//            CreateAnimatedBody, Body::CreateGeometry / CreateSensor, RigidBody::CreateController,
//            Simulator::CreateBallJoint / CreateHingeJoint / CreateSliderJoint / CreateJoint,
//            Joint::CreateController
//   set up   Geometry::SetBox / SetCapsule / SetMesh / SetMaterial / SetLocalMatrix,
//            RigidBody::SetMass / SetInertia (BoxInertia, CylinderInertia) / SetPosition /
//            SetOrientation, Simulator::SetMaterial, GetCollisionGroups, the callbacks
//   step     Simulator::Step; between steps RigidBody::SetForceAtPoint / SetTorque /
//            ApplyImpulseAtPoint / SetLinearVelocity, AnimatedBody::SetPosition / SetOrientation
//   query    pose and velocity getters, Sensor hit getters, IsAsleep, ContactReport in the contact
//            callback, DumpBodies for a text table of every enabled body
//   free     Simulator::FreeBody, FreeJoint, DestroySimulator
// The solver's working records (constraint rows, contact stacks, the broadphase, shape tests) sit
// behind these types; their headers are the engine's own and may change without notice.

#include "Physics/AnimatedBody.h"
#include "Physics/BodyDump.h"
#include "Physics/CollisionGroupMatrix.h"
#include "Physics/CollisionTriangle.h"
#include "Physics/ContactReport.h"
#include "Physics/Controller.h"
#include "Physics/Geometry.h"
#include "Physics/Inertia.h"
#include "Physics/Joint.h"
#include "Physics/Matrix4.h"
#include "Physics/Quaternion.h"
#include "Physics/RigidBody.h"
#include "Physics/Sensor.h"
#include "Physics/Simulator.h"
#include "Physics/SimulatorAllocator.h"
#include "Physics/SimulatorDesc.h"
#include "Physics/StepStats.h"
#include "Physics/Vector4.h"
