#pragma once
// The walks from an endpoint to the adapter's volume and mute parts. They
// fill slot 0 of the record's volume and mute parts (and, for capture, the
// adapter connector's subtype); on failure the caller drops the endpoint
// and clears what the walk filled.

#include <mmdeviceapi.h>

#include "cpl/endpoint/endpoint_record.h"

namespace veltrano::cpl {

// Render: endpoint connector (data flow In) -> adapter connector, then
// incoming parts: the first is passed over, the second gives the volume
// part, the third the mute part, and one more step must succeed. A
// connector reached on the way ends the walk with success.
HRESULT WalkRenderTopology(IMMDevice* endpoint, EndpointRecord* record);

// Capture: endpoint connector (data flow Out) -> adapter connector, whose
// subtype is recorded; then outgoing parts: the first passed over, the
// second gives the mute part, on a line connector the third gives the
// volume part, then up to two more steps. A connector ends the walk.
HRESULT WalkCaptureTopology(IMMDevice* endpoint, EndpointRecord* record);

}  // namespace veltrano::cpl
