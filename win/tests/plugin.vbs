' Late-bound calls on brosk.Plugin, as a host's script makes them. The scene (KDSIM_SCENE)
' makes the second session fail, so that SceneCheck returns the host's error.
Option Explicit
Dim p, r
Set p = CreateObject("brosk.Plugin")
r = p.OnAppStartAfter(1)
WScript.Echo "OnAppStartAfter: " & CInt(r)
On Error Resume Next
p.insertarEnLista "9", "1", 201, "A", "D", "1"
WScript.Echo "insertarEnLista: " & Err.Number & " " & Err.Source
Err.Clear
r = p.SceneCheck(1)
WScript.Echo "SceneCheck: " & Err.Number & " " & Err.Description
Err.Clear
p.noSuchMember
WScript.Echo "noSuchMember: " & Err.Number
WScript.Echo "RESULT: ok"
