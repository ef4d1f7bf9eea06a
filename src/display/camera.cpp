#include "display/camera.h"

#include "display/device.h"

D3DXVECTOR3 TGLCamera::Eye() const
{
    return D3DXVECTOR3(float(X * PositionScale), float(-Y * PositionScale), float(Z - Distance));
}

D3DXVECTOR3 TGLCamera::Target() const
{
    return D3DXVECTOR3(float(X * PositionScale), float(-Y * PositionScale), float(Z - Distance - 5.0));
}

void TGLCamera::Apply()
{
    D3DXMATRIX local;
    D3DXMATRIX* view = ViewMatrix ? ViewMatrix : &local;
    D3DXMatrixIdentity(view);
    const D3DXVECTOR3 eye = Eye(), target = Target(), up(0, -1, 0);
    D3DXMatrixLookAtLH(view, &eye, &target, &up);
    if (D3DDevice) D3DDevice->SetTransform(D3DTS_VIEW, view);
}
