// Fixed texts the snap device writes to the host log from more than one place.
#pragma once

constexpr char kNoMountRequestInitiator[] = "Unable to get the mount request initiator.";
