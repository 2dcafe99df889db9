' Creates brosk.Plugin by its name and calls OnAppStartAfter, as a host does at its start.
Option Explicit
Dim p
Set p = CreateObject("brosk.Plugin")
WScript.Echo "OnAppStartAfter: " & CInt(p.OnAppStartAfter(1))
WScript.Echo "RESULT: ok"
