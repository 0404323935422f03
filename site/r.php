<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>注册 Varnel 会员</title>
</head>
<body>
<h1>注册 Varnel 会员</h1>
<p>注册后可以收到新版本通知和使用技巧。</p>
<form name="reg" action="r.php" method="post">
  <p>用户名：<input type="text" name="user" maxlength="20"></p>
  <p>电子邮件：<input type="email" name="mail" maxlength="60"></p>
  <p>密码：<input type="password" name="pass" maxlength="20"></p>
  <p><input type="submit" value="注册"></p>
</form>
<p><a href="/">返回首页</a></p>
</body>
</html>
