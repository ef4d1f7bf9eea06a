// The look-at camera of a 3D view: a position, a distance along the view
// direction and the scales that the view's mouse navigation uses. It always
// looks along the negative Z axis with -Y as up.
#pragma once

#include "platform/d3dx/d3dx8math.h"

class TGLCamera {
public:
    TGLCamera() = default;

    float GetX() const { return X; }
    float GetY() const { return Y; }
    void SetX(float value) { X = value; }
    void SetY(float value) { Y = value; }
    void SetZ(float value) { Z = value; }

    // Builds the view matrix (eye at (X k, -Y k, Z - distance), looking 5
    // units further along negative Z, k the position scale) into the view
    // matrix of the viewport that uses this camera, and makes it the device's
    // view transform.
    void Apply();

    // The eye and the point looked at, as Apply places them.
    D3DXVECTOR3 Eye() const;
    D3DXVECTOR3 Target() const;

    float X = 0;
    float Y = 0;
    float Z = 5.0f;
    double PositionScale = 2.0;
    double RotationDivisor = 50.0;     // mouse pixels per radian of view rotation
    double ZoomDivisor = 5.0;          // mouse pixels per unit of distance in a zoom drag
    double Distance = 0;               // subtracted from Z for the eye
    D3DXMATRIX* ViewMatrix = nullptr;  // set by the viewport that uses the camera
};
