<%@ Language=VBScript %>
<% Option Explicit
Dim total
total = Request.QueryString("n") * 2.4
%>
<html>
<head><title>Orders</title></head>
<body>
<table border=1>
<tr><th>Item<th>Price
<tr><td>Sourdough<td><%= FormatCurrency(total) %>
</table>
<% If total > 10 Then %>
<p><font color=green>Free delivery!</font>
<% End If %>
</body>
</html>
