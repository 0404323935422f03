<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>Varnel 通知与升级</title>
</head>
<body>
<p>Varnel 软件通知页：记事本程序在后台读取下面的表单。</p>
<form name="formsg" id="formsg" action="update.asp" method="post">
  <input type="hidden" name="gg1" value="Varnel记事本 1.1.3 发布：搜索更快了">
  <input type="hidden" name="ggurl1" value="@SITE@/">
  <input type="hidden" name="gg2" value="注册会员可以获得使用技巧邮件">
  <input type="hidden" name="ggurl2" value="@SITE@/r.php">
  <input type="hidden" name="gg3" value="按 Ctrl+1 随时呼出 Varnel">
  <input type="hidden" name="ggurl3" value="@SITE@/Varnelsoft.html">
  <input type="hidden" name="ver" value="113">
  <textarea name="update_vl" rows="6" cols="40">Varnel 1.1.3 更新内容：
1. 搜索时输入更流畅，大量记录也不卡顿。
2. 导出文件改为 UTF-8 编码。
3. 修正托盘图标偶尔不显示的问题。
4. 升级程序下载失败时保留原来的程序。</textarea>
</form>
</body>
</html>
